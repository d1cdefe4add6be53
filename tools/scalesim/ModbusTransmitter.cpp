#include "tools/scalesim/ModbusTransmitter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <bit>
#include <cerrno>
#include <chrono>
#include <utility>

#include "platform/posix/SystemError.h"

namespace scalesim {
namespace {

constexpr int kRegisters = 0x40;

}  // namespace

TransmitterRegisters::TransmitterRegisters()
    : m_mapping(::modbus_mapping_new_start_address(0, 0, 0, 0, kWeightRegister, kRegisters, 0, 0)) {
}

void TransmitterRegisters::Put(std::uint16_t address, float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    std::uint16_t* registers = m_mapping->tab_registers + (address - kWeightRegister);
    // cdab: the low word first.
    registers[0] = static_cast<std::uint16_t>(bits);
    registers[1] = static_cast<std::uint16_t>(bits >> 16);
}

void TransmitterRegisters::Show(const ScaleModel& model) {
    const std::int64_t gross = model.GrossGrams();
    Put(kWeightRegister, static_cast<float>(gross - m_zero - m_tare) / 1000);
    Put(kGrossRegister, static_cast<float>(gross - m_zero) / 1000);
    Put(kTareRegister, static_cast<float>(m_tare) / 1000);
    m_mapping->tab_registers[kStatusRegister - kWeightRegister] =
        model.Stable() ? 0 : static_cast<std::uint16_t>(1u << kMotionBit);
}

void TransmitterRegisters::Obey(const ScaleModel& model, std::string* acted) {
    std::uint16_t& command = m_mapping->tab_registers[kCommandRegister - kWeightRegister];
    if (command == kTareCommand) {
        m_tare = model.GrossGrams() - m_zero;
        *acted = "TARE";
    } else if (command == kZeroCommand) {
        m_zero = model.GrossGrams();
        m_tare = 0;
        *acted = "ZERO";
    }
    command = 0;
    Show(model);
}

bool TransmitterRegisters::Answer(modbus_t* context, const ScaleModel& model, std::string* acted) {
    std::uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH];
    const int length = ::modbus_receive(context, request);
    if (length < 0)
        return false;
    if (length == 0)
        return true;  // meant for another unit
    if (::modbus_reply(context, request, length, m_mapping.get()) < 0)
        return false;
    Obey(model, acted);
    return true;
}

ModbusTransmitter::ModbusTransmitter(ScaleModel model, int framesPerSecond, std::FILE* log)
    : m_model(std::move(model)), m_framesPerSecond(framesPerSecond), m_log(log) {}

ModbusTransmitter::~ModbusTransmitter() {
    if (m_context) {
        ::modbus_set_socket(m_context, -1);
        ::modbus_free(m_context);
    }
}

bool ModbusTransmitter::Start(std::uint16_t port, std::string* error) {
    m_listen = posix::UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (!m_listen || ::setsockopt(m_listen.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(m_listen.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listen.Get(), 8) != 0) {
        *error = "cannot listen on 127.0.0.1 port " + std::to_string(port) + ": " +
                 posix::ErrnoText(errno);
        return false;
    }
    m_context = ::modbus_new_tcp("127.0.0.1", port);
    m_address = "modbus-tcp://127.0.0.1:" + std::to_string(port);
    m_registers.Show(m_model);
    return m_context != nullptr;
}

void ModbusTransmitter::Accept() {
    posix::UniqueFd client(::accept4(m_listen.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (client)
        m_clients.push_back(std::move(client));
}

void ModbusTransmitter::Run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask) {
    using Clock = std::chrono::steady_clock;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / m_framesPerSecond;
    auto nextTick = Clock::now() + period;
    std::vector<pollfd> fds;
    while (!stop) {
        fds.assign({{m_listen.Get(), POLLIN, 0}});
        for (const posix::UniqueFd& client : m_clients)
            fds.push_back({client.Get(), POLLIN, 0});
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::max(nextTick - Clock::now(), Clock::duration::zero()))
                            .count();
        const timespec timeout{static_cast<time_t>(ns / 1000000000),
                               static_cast<long>(ns % 1000000000)};
        if (::ppoll(fds.data(), fds.size(), &timeout, &waitMask) < 0 && errno != EINTR)
            return;
        for (std::size_t i = fds.size() - 1; i >= 1; --i) {
            if (fds[i].revents == 0)
                continue;
            ::modbus_set_socket(m_context, fds[i].fd);
            std::string acted;
            if (!m_registers.Answer(m_context, m_model, &acted))
                m_clients.erase(m_clients.begin() + static_cast<std::ptrdiff_t>(i - 1));
            if (!acted.empty() && m_log)
                std::fprintf(m_log, "modbus: %s\n", acted.c_str());
        }
        if (fds[0].revents & POLLIN)
            Accept();
        if (Clock::now() >= nextTick) {
            m_model.Tick();
            m_registers.Show(m_model);
            nextTick += period;
        }
    }
}

}  // namespace scalesim
