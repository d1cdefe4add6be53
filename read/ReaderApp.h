#pragma once

// karvel-read at work: finds the scale, captures readings by the chosen rule, prints them and
// publishes them, takes keys from standard input and the broker, and ends on its count, a
// signal or a closed output.
//
// Thread: the main thread, inside a QCoreApplication.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "link/Source.h"
#include "mqtt/MqttPublisher.h"
#include "platform/hid/HidrawDevices.h"
#include "platform/serial/PortMap.h"
#include "platform/window/Inbox.h"
#include "platform/window/TerminationSignals.h"
#include "read/ReadOptions.h"
#include "record/Capture.h"
#include "record/Output.h"
#include "record/RawLines.h"
#include "record/Sink.h"
#include "record/store/RecordSink.h"
#include "web/HttpBridge.h"

namespace reader {

class ReaderApp : public QObject {
  public:
    // `hid`: where the USB HID scales are looked for.
    ReaderApp(ReadOptions options, std::string portFolder, hid::HidrawRoots hid = {});
    ~ReaderApp() override;

    // Finds the port and starts; an exit code when it cannot start (then nothing runs).
    std::optional<int> Start();

  private:
    // The scale on its wire: a family's with --protocol, else the described frame scan.
    std::unique_ptr<scale_link::Source> MakeSource();
    // --tap and --replay: the opener of every wire; an exit code when the tap cannot be
    // written or the replay read.
    std::optional<int> StartTap();
    // Finds the scale (or, with --raw, opens the port); an exit code when it cannot.
    // `folderRefused`: the refused port folder is said already.
    std::optional<int> FindScale(unsigned only, bool folderRefused);
    // --mqtt: the publisher, which takes keys by the Source's names; an exit code when it
    // cannot start.
    std::optional<int> StartBroker();
    // --record: opens the record and puts its sink first in the list; an exit code when it
    // cannot be opened.
    std::optional<int> StartRecord();
    // The record's start event once the scale is known, and the check's target and limits.
    bool BeginRecord();
    // --format xlsx and --type: their sinks, before the scale is looked for; an exit code when
    // either cannot work.
    std::optional<int> StartSheetAndTyping();
    // --http: the bridge and its sink; an exit code when it cannot start.
    std::optional<int> StartWeb();
    // The CSV header and the output's sink; kExitDone when nobody reads the output.
    std::optional<int> StartOutput();
    void OnReading(const scale::Frame& frame);
    // The port was lost or opened again.
    void OnPortState(const scale::PortState& state);
    // A key of --keys, --mqtt-keys or --http-keys.
    void SendKey(scale_link::KeyPress key);
    void OnByte(std::uint8_t byte, bool frameStart);
    void OnKeyInput();
    void Emit(record::CapturedReading reading);
    // SAMPLE on --keys: the settled weight on the pan is the sample of --count-pieces.
    void TakeSample();
    void Finish(int code);

    ReadOptions m_options;
    hid::HidrawRoots m_hid;
    serial_port::PortMap m_ports;
    std::unique_ptr<scale_link::Source> m_source;
    std::string m_replayDevice;  // --replay: the tap, read as the port of that name
    record::Capturer m_capturer;
    record::Output m_out;
    // --raw: a line ends with the burst, when the event loop comes round after its bytes.
    record::RawLines m_rawLines;
    QTimer m_burstEnd;
    std::string m_id;
    window::Inbox m_fromBroker;  // keys from the client's thread; outlives the client
    std::unique_ptr<mqtt::MqttPublisher> m_mqtt;
    std::unique_ptr<web::HttpBridge> m_web;
    // Where captured readings go; after what its sinks refer to, so it goes first.
    record::SinkList m_sinks;
    record::store::RecordSink* m_record = nullptr;  // --record: the first of m_sinks
    QTimer m_recordFlush;  // rows waiting for the record's database go out while none comes
    std::unique_ptr<QSocketNotifier> m_keyInput;
    std::string m_keyLine;
    bool m_keyLineTooLong = false;  // the line being read passed the bound: it is refused
    std::unique_ptr<window::TerminationSignals> m_signals;
    std::uint64_t m_captured = 0;
    record::CsvColumns m_columns;           // --columns and the bench rules' own
    std::optional<scale::Reading> m_shown;  // the latest reading, for SAMPLE
    bool m_finished = false;
};

// Writes one message line to standard error, "karvel-read: " first. Any thread.
void Say(const std::string& message);

}  // namespace reader
