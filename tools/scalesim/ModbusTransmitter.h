#pragma once

// The simulated scale as a weight transmitter on Modbus, with the register map of a common
// indicator (holding registers, float32 in cdab order, kg): the weight shown at 0x1000 (gross less
// zero and tare), the gross at 0x1002, the tare at 0x1004, the status word at 0x1020 with bit 3
// set while the weight moves, and the command register 0x1030 (1: zero, 2: tare), cleared once
// obeyed. TransmitterRegisters answers any libmodbus server context (TCP, or RTU on a line a
// test holds); ModbusTransmitter serves it on a TCP port of loopback, any number of clients.

#include <modbus/modbus.h>

#include <poll.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/UniqueFd.h"
#include "tools/scalesim/ScaleModel.h"

namespace scalesim {

inline constexpr std::uint16_t kWeightRegister = 0x1000;
inline constexpr std::uint16_t kGrossRegister = 0x1002;
inline constexpr std::uint16_t kTareRegister = 0x1004;
inline constexpr std::uint16_t kStatusRegister = 0x1020;
inline constexpr unsigned kMotionBit = 3;
inline constexpr std::uint16_t kCommandRegister = 0x1030;
inline constexpr std::uint16_t kZeroCommand = 1;
inline constexpr std::uint16_t kTareCommand = 2;
// The --modbus map a reader of it is given.
inline constexpr const char* kTransmitterMap =
    "id=1,weight=0x1000,type=float32,order=cdab,unit=kg,motion=0x1020.3,tare=0x1030:2,"
    "zero=0x1030:1";

class TransmitterRegisters {
  public:
    TransmitterRegisters();

    // What `model` weighs now, less the zero and tare taken.
    void Show(const ScaleModel& model);
    // Reads one request from `context`'s socket and answers it; a command written is obeyed at
    // once (said in `acted`). False when the peer is gone or sent what no request is.
    bool Answer(modbus_t* context, const ScaleModel& model, std::string* acted);

  private:
    void Put(std::uint16_t address, float value);
    void Obey(const ScaleModel& model, std::string* acted);

    struct FreeMapping {
        void operator()(modbus_mapping_t* mapping) const { ::modbus_mapping_free(mapping); }
    };
    std::unique_ptr<modbus_mapping_t, FreeMapping> m_mapping;
    std::int64_t m_zero = 0;  // gross grams taken as zero
    std::int64_t m_tare = 0;
};

class ModbusTransmitter {
  public:
    // `log`: one line per key obeyed; nullptr for none.
    ModbusTransmitter(ScaleModel model, int framesPerSecond, std::FILE* log);
    ~ModbusTransmitter();

    // Listens on 127.0.0.1:`port`. False, with `error` set, when it cannot.
    bool Start(std::uint16_t port, std::string* error);
    // "modbus-tcp://127.0.0.1:PORT".
    std::string Address() const { return m_address; }
    // Serves until `stop` turns non-zero (the signals it takes unblocked only while waiting).
    void Run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask);

  private:
    void Accept();

    ScaleModel m_model;
    int m_framesPerSecond;
    std::FILE* m_log;
    TransmitterRegisters m_registers;
    posix::UniqueFd m_listen;
    std::vector<posix::UniqueFd> m_clients;
    modbus_t* m_context = nullptr;  // answers whichever client has a request
    std::string m_address;
};

}  // namespace scalesim
