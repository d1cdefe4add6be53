#pragma once

// Reaches the control the way a host does: by class identifier through the component layer,
// calling it by member id with typed arguments.

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>

#include <QImage>
#include <QSize>

#include "platform/component/Interfaces.h"
#include "platform/component/Library.h"
#include "platform/component/Ref.h"

namespace lumeq_test {

using component::DispId;
using component::Ref;
using component::Result;
using component::Variant;

inline constexpr QSize kPanelSize{359, 101};

// A new control, asked for its dispatch interface; fails the calling test when none comes.
Ref<component::Dispatch> CreateControl();

// Calls member `id` as a method with `args`.
Result Call(component::Dispatch& ctrl, DispId id, std::initializer_list<Variant> args = {},
            std::uint32_t* argError = nullptr);

// The control's picture as its paint draws it at `size`.
QImage Picture(component::Dispatch& ctrl, QSize size = kPanelSize);

// The picture of a fresh control after `setup` ran on it.
QImage PictureOf(const std::function<void(component::Dispatch&)>& setup);

// Success when both pictures have the same size and pixels; otherwise names the first pixel
// that differs.
::testing::AssertionResult SamePicture(const QImage& actual, const QImage& expected);

// Runs the event loop until `done` holds; false when `deadlineMs` passed first.
bool WaitUntil(const std::function<bool()>& done, int deadlineMs = 10000);

// The control library, loaded once per process by its canonical path, and one of its exports.
const component::Library& LumeqLibrary();
void* LumeqExport(const char* name);

template <typename Fn>
Fn Export(const char* name) {
    return reinterpret_cast<Fn>(LumeqExport(name));
}

// A result as "0x80020005 (type mismatch)", for failure messages.
std::string Describe(Result r);

}  // namespace lumeq_test
