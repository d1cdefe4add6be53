#pragma once

// A panel with a recording display control and captured message boxes.

#include <QApplication>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "app/CScalePanelDlg.h"
#include "tests/app/RecordingControl.h"

namespace apptest {

struct ShownBox {
    QWidget* parent;
    MessageBoxRequest request;
};

class PanelHarness {
  public:
    // `ports`: which device each COM number stands for; none: the machine's devices.
    explicit PanelHarness(std::shared_ptr<serial_port::PortMap> ports = nullptr)
        : m_ports(std::move(ports)) {
        Build({});
    }

    // A new panel whose port watcher uses `watch` (and whose port map is `ports`).
    void Build(scale_link::PortWatcher::Sources watch,
               std::shared_ptr<serial_port::PortMap> ports) {
        m_ports = std::move(ports);
        Build(std::move(watch));
    }
    void Build(scale_link::PortWatcher::Sources watch) {
        panel.reset();
        PanelServices services;
        services.watch = std::move(watch);
        services.ports = m_ports;
        services.receiveWindow = ProgramWindow();
        services.createControl = RecordingCreator(log);
        services.presenter = [this](QWidget* parent, const MessageBoxRequest& request) {
            boxes.push_back({parent, request});
            if (onBox)
                onBox(request);
        };
        panel = std::make_unique<CScalePanelDlg>(std::move(services));
    }

    // Everything DoModal does before the modal loop: display control, then start-up.
    void Start() {
        ASSERT_EQ(panel->CreateDisplayControl(), component::kOk);
        panel->OnInitDialog();
    }

    // Passes `bytes` to the receive handler one by one, as the engine would.
    void Feed(const std::vector<std::uint8_t>& bytes) {
        for (std::uint8_t b : bytes)
            panel->OnPortByte(b, 0);
    }

    // Flushes the receive window with bytes that hold no header, and forgets the calls.
    void ClearWindow() {
        Feed(std::vector<std::uint8_t>(12, 0x00));
        log->calls.clear();
    }

    QString Status() const { return panel->StatusLine().text(); }

    std::shared_ptr<DisplayLog> log = std::make_shared<DisplayLog>();
    std::vector<ShownBox> boxes;
    // Runs while a box is "shown" (inside the presenter), as the user would see it.
    std::function<void(const MessageBoxRequest&)> onBox;
    std::unique_ptr<CScalePanelDlg> panel;

    const std::shared_ptr<serial_port::PortMap>& Ports() const { return m_ports; }

  private:
    // The test program's one receive window, as the application object's is the program's:
    // bytes of an earlier panel stay in it.
    static std::shared_ptr<scale::FrameWindow> ProgramWindow() {
        static const auto window = std::make_shared<scale::FrameWindow>();
        return window;
    }

    std::shared_ptr<serial_port::PortMap> m_ports;
};

}  // namespace apptest
