#pragma once

// One Modbus connection over libmodbus, as a client: a TCP connection made within a bound
// (net::ConnectTcp), or an RTU line on a serial device. Reads registers and writes one, each
// waiting at most the response time. Knows registers, not what they mean.
//
// Thread: one at a time (a Bus's thread, link/ModbusSource.h).

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/Result.h"

struct _modbus;

namespace modbus {

enum class Table { kHolding, kInput };

struct RtuLine {
    std::string device;
    int baud = 19200;
    char parity = 'E';
    int dataBits = 8;
    int stopBits = 1;
};

// The device answered with an exception (an address it does not have, say): the connection
// itself is good.
bool IsException(const posix::SystemError& error);

class Connection {
  public:
    static posix::Result<Connection> Tcp(const std::string& host, std::uint16_t port,
                                         std::chrono::milliseconds limit);
    static posix::Result<Connection> Rtu(const RtuLine& line);

    Connection(Connection&&) noexcept = default;
    Connection& operator=(Connection&&) noexcept = default;
    ~Connection();

    // How long a request waits for its answer.
    void SetResponseTime(std::chrono::milliseconds limit);
    posix::Result<std::vector<std::uint16_t>> Read(int unit, Table table, std::uint16_t address,
                                                   std::uint16_t count);
    posix::Status Write(int unit, std::uint16_t address, std::uint16_t value);

  private:
    struct Free {
        void operator()(_modbus* context) const;
    };
    explicit Connection(_modbus* context) : m_context(context) {}

    std::unique_ptr<_modbus, Free> m_context;
};

}  // namespace modbus
