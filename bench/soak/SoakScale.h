#pragma once

// The simulated scale of a soak run: karvel-scalesim with one scale on COM1 of a private port
// directory, sending a fixed number of frames.
//
// Thread: UI thread. Needs a QCoreApplication; its state follows the event loop.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <optional>
#include <string_view>

namespace soak {

class SoakScale {
  public:
    SoakScale() = default;
    // Stops the simulator if it still runs and removes its port directory.
    ~SoakScale();
    SoakScale(const SoakScale&) = delete;
    SoakScale& operator=(const SoakScale&) = delete;

    // Starts `simulator` to send `frames` frames at `framesPerSecond` and waits until it is
    // ready. False with `error` set when it cannot be started or does not become ready.
    bool Start(const QString& simulator, std::uint64_t frames, int framesPerSecond, QString* error);
    QString PortDir() const { return m_dir.path(); }

    bool Running() const { return m_process.state() != QProcess::NotRunning; }
    // Waits up to `timeoutMs` for the simulator to end; true when it has.
    bool WaitForEnd(int timeoutMs);
    // What it reported at its end; nullopt while it runs or when it reported nothing.
    std::optional<std::uint64_t> FramesSent();

  private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_output;
};

// The count of a "frames sent: N" line.
std::optional<std::uint64_t> FramesSentLine(std::string_view line);

}  // namespace soak
