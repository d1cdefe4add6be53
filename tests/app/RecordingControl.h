#pragma once

// A stand-in for the display control that records what the panel asks of it.

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "app/CLumeq.h"
#include "platform/component/Ref.h"

namespace apptest {

struct DisplayCall {
    component::DispId id;
    std::vector<component::Variant> args;
    bool operator==(const DisplayCall&) const = default;
};

// What every control made by one creator did; shared by the test and the controls.
struct DisplayLog {
    std::vector<DisplayCall> calls;
    std::vector<std::vector<std::uint8_t>> loads;
    int initNewCount = 0;
    QWidget* activatedIn = nullptr;
    QRect activatedAt;
    int activations = 0;
    int deactivations = 0;
    int liveObjects = 0;
    std::function<void()> onDeactivate;  // runs inside Deactivate
};

// A creator for CLumeq: each object it makes records into `log`. With `fail` set it refuses
// as an unregistered class would.
CLumeq::Creator RecordingCreator(std::shared_ptr<DisplayLog> log,
                                 component::Result fail = component::kOk);

// Shorthands for expected calls.
DisplayCall ShortCall(component::DispId id, int value);
DisplayCall LongCall(component::DispId id, std::int32_t value);
DisplayCall NoArgCall(component::DispId id);

// The ten calls of one frame update: SetWM..SetHex6 with `values`, then Display.
std::vector<DisplayCall> FrameUpdate(const std::array<int, 9>& values);

}  // namespace apptest
