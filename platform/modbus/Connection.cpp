#include "platform/modbus/Connection.h"

#include <modbus/modbus.h>

#include <cerrno>

#include "platform/net/Connect.h"

namespace modbus {
namespace {

posix::SystemError LastError() {
    const int code = errno;
    return {code, ::modbus_strerror(code), {}};
}

}  // namespace

bool IsException(const posix::SystemError& error) {
    return error.code >= EMBXILFUN && error.code <= EMBXGTAR;
}

void Connection::Free::operator()(_modbus* context) const {
    ::modbus_close(context);
    ::modbus_free(context);
}

Connection::~Connection() = default;

posix::Result<Connection> Connection::Tcp(const std::string& host, std::uint16_t port,
                                          std::chrono::milliseconds limit) {
    // The library's own connect waits on the resolver without a bound: the socket is made here.
    posix::Result<posix::UniqueFd> socket = net::ConnectTcp(host, port, limit);
    if (!socket)
        return socket.Error();
    modbus_t* context = ::modbus_new_tcp_pi(host.c_str(), std::to_string(port).c_str());
    if (!context)
        return LastError();
    Connection connection(context);
    ::modbus_set_socket(context, socket->Release());
    return connection;
}

posix::Result<Connection> Connection::Rtu(const RtuLine& line) {
    modbus_t* context =
        ::modbus_new_rtu(line.device.c_str(), line.baud, line.parity, line.dataBits, line.stopBits);
    if (!context)
        return LastError();
    Connection connection(context);
    if (::modbus_connect(context) != 0)
        return LastError();
    return connection;
}

void Connection::SetResponseTime(std::chrono::milliseconds limit) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(limit).count();
    ::modbus_set_response_timeout(m_context.get(), static_cast<std::uint32_t>(micros / 1000000),
                                  static_cast<std::uint32_t>(micros % 1000000));
}

posix::Result<std::vector<std::uint16_t>> Connection::Read(int unit, Table table,
                                                           std::uint16_t address,
                                                           std::uint16_t count) {
    std::vector<std::uint16_t> registers(count);
    ::modbus_set_slave(m_context.get(), unit);
    const int read =
        table == Table::kHolding
            ? ::modbus_read_registers(m_context.get(), address, count, registers.data())
            : ::modbus_read_input_registers(m_context.get(), address, count, registers.data());
    if (read != count)
        return LastError();
    return registers;
}

posix::Status Connection::Write(int unit, std::uint16_t address, std::uint16_t value) {
    ::modbus_set_slave(m_context.get(), unit);
    if (::modbus_write_register(m_context.get(), address, value) != 1)
        return LastError();
    return posix::Success();
}

}  // namespace modbus
