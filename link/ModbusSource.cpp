#include "link/ModbusSource.h"

#include <cstdio>
#include <future>
#include <utility>

#include "link/DeviceFollower.h"

namespace scale_link {
namespace {

using Key = scale::families::Key;

// Name and connection together, as for a scale on the network; then each request's answer.
constexpr std::chrono::seconds kConnectLimit{5};
constexpr std::chrono::milliseconds kAnswerLimit{1000};

std::vector<std::uint8_t> BytesOf(const std::vector<std::uint16_t>& registers,
                                  std::optional<std::uint16_t> status) {
    std::vector<std::uint8_t> bytes;
    for (const std::uint16_t word : registers)
        bytes.insert(bytes.end(),
                     {static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)});
    if (status)
        bytes.insert(bytes.end(),
                     {static_cast<std::uint8_t>(*status >> 8), static_cast<std::uint8_t>(*status)});
    return bytes;
}

// "0x1000", as transmitters' manuals write their registers.
std::string HexAddress(std::uint16_t address) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", address);
    return text;
}

}  // namespace

ModbusSource::ModbusSource(Place place, ModbusMap map, SourceEvents events)
    : m_place(std::move(place)),
      m_map(std::move(map)),
      m_events(std::move(events)),
      m_bus([this] { return Connect(); }) {
    m_poll.setInterval(m_map.poll);
    connect(&m_poll, &QTimer::timeout, this, [this] { PollNow(); });
}

ModbusSource::~ModbusSource() = default;

posix::Result<modbus::Connection> ModbusSource::Connect() const {
    posix::Result<modbus::Connection> connection =
        m_place.port.tcp
            ? modbus::Connection::Tcp(m_place.port.host, m_place.port.port, kConnectLimit)
            : modbus::Connection::Rtu({m_place.device, m_place.line.baud, m_place.line.parity,
                                       m_place.line.dataBits, m_place.line.stopBits});
    if (connection)
        connection->SetResponseTime(kAnswerLimit);
    return connection;
}

void ModbusSource::Poll(std::function<void(const posix::Status&, const Polled&)> done) {
    auto polled = std::make_shared<Polled>();
    const ModbusMap& map = m_map;
    const modbus::Table table = map.inputTable ? modbus::Table::kInput : modbus::Table::kHolding;
    m_bus.Submit(
        [polled, map, table](modbus::Connection& connection) -> posix::Status {
            auto weight =
                connection.Read(map.unit, table, map.weight,
                                static_cast<std::uint16_t>(modbus::RegistersOf(map.type)));
            if (!weight)
                return weight.Error();
            polled->weight = std::move(weight).Value();
            if (!map.motion)
                return posix::Success();
            auto status = connection.Read(map.unit, table, map.motion->address, 1);
            if (!status)
                return status.Error();
            polled->status = status->front();
            return posix::Success();
        },
        [polled, done = std::move(done)](const posix::Status& status) { done(status, *polled); });
}

posix::Result<int> ModbusSource::Find(unsigned) {
    ++m_finds;
    std::promise<std::pair<posix::Status, Polled>> answered;
    Poll([&answered](const posix::Status& status, const Polled& polled) {
        answered.set_value({status, polled});
    });
    const auto [status, polled] = answered.get_future().get();
    return Answered(status, polled);
}

void ModbusSource::FindLater(unsigned, std::function<void(posix::Result<int>)> found) {
    const std::uint64_t find = ++m_finds;
    Poll([this, find, found = std::move(found)](const posix::Status& status, const Polled& polled) {
        // Dropped with the source when it goes first, and when a later find took its place.
        m_inbox.Post([this, find, found, status, polled] {
            if (find == m_finds)
                found(Answered(status, polled));
        });
    });
}

posix::Result<int> ModbusSource::Answered(const posix::Status& status, const Polled& polled) {
    if (!status)
        return posix::SystemError::Because(
            m_place.name + ": " +
            (modbus::IsException(status.Error())
                 ? "unit " + std::to_string(m_map.unit) + " answered: " + status.Error().text
                 : status.Error().Describe()));
    m_found = true;
    m_events.say(Named() + ": Modbus unit " + std::to_string(m_map.unit) + ", weight in " +
                 (m_map.inputTable ? "input" : "holding") + " register " +
                 HexAddress(m_map.weight));
    m_retry.Back();
    // Told from the event loop, once whoever asked is ready for readings.
    QTimer::singleShot(0, this, [this, polled] {
        Tell(polled);
        m_poll.start();
    });
    return 1;
}

void ModbusSource::PollNow() {
    if (!m_lost)
        Ask();
}

void ModbusSource::Ask() {
    // One poll at a time: a slow bus is polled less often, never piled up.
    if (std::exchange(m_asking, true))
        return;
    Poll([this](const posix::Status& status, const Polled& polled) {
        m_inbox.Post([this, status, polled] { OnPolled(status, polled); });
    });
}

void ModbusSource::OnPolled(const posix::Status& status, const Polled& polled) {
    m_asking = false;
    const bool answered = status || modbus::IsException(status.Error());
    if (!answered) {
        if (m_lost)
            m_retry.Failed();
        else
            Lose(status.Error().Describe());
        return;
    }
    if (m_lost) {
        m_lost = false;
        m_retry.Back();
        m_events.portState({scale::PortState::Change::kOpened, 0, Device(), Name()});
        m_events.say(Named() + ": back; reading again");
        m_poll.start();
    }
    if (status) {
        m_lastAnswer.clear();
        Tell(polled);
        return;
    }
    // The device is there but refuses the request: said once, no reading made.
    const std::string answer =
        "unit " + std::to_string(m_map.unit) + " answered: " + status.Error().text;
    if (answer != std::exchange(m_lastAnswer, answer))
        m_events.say(Named() + ": " + answer);
}

void ModbusSource::Tell(const Polled& polled) {
    scale::Frame told = scale::StampFrame({});
    told.familyReading = ModbusReading(m_map, polled.weight, polled.status);
    told.protocol = "modbus";
    told.familyBytes = BytesOf(polled.weight, polled.status);
    if (m_events.reading)
        m_events.reading(told);
}

void ModbusSource::Lose(const std::string& why) {
    m_lost = true;
    m_poll.stop();
    m_events.say(Named() + ": the device went away (" + why + "); waiting for it to come back");
    m_events.portState({scale::PortState::Change::kLost, 0, Device(), Name()});
    m_retry.Lost();
}

void ModbusSource::Retry() {
    if (m_lost)
        Ask();
}

std::optional<ModbusWrite> ModbusSource::WriteFor(Key key) const {
    if (key == Key::kTare)
        return m_map.tare;
    if (key == Key::kZero)
        return m_map.zero;
    return std::nullopt;
}

std::optional<KeyPress> ModbusSource::KeyNamed(std::string_view line) const {
    const auto key = scale::families::KeyOfLine(line);
    if (!key || !WriteFor(*key))
        return std::nullopt;
    return KeyPress{*key, false};
}

std::string ModbusSource::KeyNames() const {
    if (m_map.tare && m_map.zero)
        return "TARE or ZERO";
    if (m_map.tare || m_map.zero)
        return m_map.tare ? "TARE" : "ZERO";
    return "no key (the --modbus map has no tare= or zero=)";
}

bool ModbusSource::SendKey(KeyPress press) {
    const auto write = WriteFor(press.key);
    const std::string name(scale::families::KeyName(press.key));
    if (!write) {
        m_events.say("the --modbus map has no " + name + " register: nothing sent");
        return false;
    }
    if (!m_found || m_lost)
        return false;
    const int unit = m_map.unit;
    m_bus.Submit(
        [unit, write = *write](modbus::Connection& connection) {
            return connection.Write(unit, write.address, write.value);
        },
        [this, name](const posix::Status& status) {
            if (!status)
                m_inbox.Post([this, name, why = status.Error().Describe()] {
                    m_events.say(name + ": the register was not written (" + why + ")");
                });
        });
    return true;
}

}  // namespace scale_link
