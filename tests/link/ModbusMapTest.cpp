// A transmitter's registers as values, in every type and byte order, and the --modbus map and
// Modbus port as a user writes them: what is read, and what is refused with which reason.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/ModbusMap.h"
#include "platform/modbus/RegisterValue.h"

namespace {

using modbus::ByteOrder;
using modbus::ValueType;
using scale_link::ModbusMap;

TEST(ModbusValue, EachTypeAndOrderReadsTheSameNumber) {
    struct Case {
        std::vector<std::uint16_t> registers;
        ValueType type;
        ByteOrder order;
        unsigned decimals;
        const char* exact;  // null: no number
    };
    const Case cases[] = {
        {{0x0001, 0xE240}, ValueType::kInt32, ByteOrder::kAbcd, 0, "123456"},
        {{0xE240, 0x0001}, ValueType::kInt32, ByteOrder::kCdab, 2, "1234.56"},
        {{0x0100, 0x40E2}, ValueType::kInt32, ByteOrder::kBadc, 3, "123.456"},
        {{0x40E2, 0x0100}, ValueType::kInt32, ByteOrder::kDcba, 7, "0.0123456"},
        {{0xFFFF, 0xFFFB}, ValueType::kInt32, ByteOrder::kAbcd, 2, "-0.05"},
        {{0x0000, 0x8000}, ValueType::kInt32, ByteOrder::kCdab, 0, "-2147483648"},
        {{0xFFFF, 0xFFFF}, ValueType::kUint32, ByteOrder::kAbcd, 0, "4294967295"},
        {{0xFF38}, ValueType::kInt16, ByteOrder::kAbcd, 1, "-20.0"},
        {{0xFF38}, ValueType::kInt16, ByteOrder::kCdab, 0, "-200"},
        {{0x38FF}, ValueType::kUint16, ByteOrder::kBadc, 0, "65336"},
        {{0x38FF}, ValueType::kInt16, ByteOrder::kDcba, 0, "-200"},
        {{0x4148, 0x0000}, ValueType::kFloat32, ByteOrder::kAbcd, 0, "12.5"},
        {{0x0000, 0x4148}, ValueType::kFloat32, ByteOrder::kCdab, 0, "12.5"},
        {{0x4841, 0x0000}, ValueType::kFloat32, ByteOrder::kBadc, 0, "12.5"},
        {{0x0000, 0x4841}, ValueType::kFloat32, ByteOrder::kDcba, 0, "12.5"},
        {{0xBDCC, 0xCCCD}, ValueType::kFloat32, ByteOrder::kAbcd, 0, "-0.1"},
        {{0x5015, 0x02F9}, ValueType::kFloat32, ByteOrder::kAbcd, 0, "10000000000"},
        {{0x7FC0, 0x0000}, ValueType::kFloat32, ByteOrder::kAbcd, 0, nullptr},
        {{0xFF80, 0x0000}, ValueType::kFloat32, ByteOrder::kAbcd, 0, nullptr},
        {{0x0001}, ValueType::kInt32, ByteOrder::kAbcd, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exact ? c.exact : "none");
        const auto value = modbus::DecodeRegisters(c.registers, c.type, c.order, c.decimals);
        ASSERT_EQ(value.has_value(), c.exact != nullptr);
        if (!c.exact)
            continue;
        EXPECT_EQ(value->exact, c.exact);
        EXPECT_DOUBLE_EQ(value->value, std::stod(c.exact));
    }
}

TEST(ModbusMap, ReadsTheExampleAndTheDefaults) {
    const auto example = scale_link::ParseModbusMap(
        "id=1,weight=0x1000,type=float32,order=cdab,unit=kg,motion=0x1020.3,tare=0x1030:2,"
        "zero=0x1030:1");
    ASSERT_TRUE(example) << example.Error().text;
    ModbusMap wanted;
    wanted.weight = 0x1000;
    wanted.type = ValueType::kFloat32;
    wanted.order = ByteOrder::kCdab;
    wanted.unitName = "kg";
    wanted.motion = scale_link::ModbusBit{0x1020, 3};
    wanted.tare = scale_link::ModbusWrite{0x1030, 2};
    wanted.zero = scale_link::ModbusWrite{0x1030, 1};
    EXPECT_EQ(*example, wanted);

    const auto defaults = scale_link::ParseModbusMap(
        "weight=65535,type=int16,table=input,id=247,decimals=3,poll=250");
    ASSERT_TRUE(defaults) << defaults.Error().text;
    EXPECT_EQ(defaults->weight, 65535);
    EXPECT_TRUE(defaults->inputTable);
    EXPECT_EQ(defaults->unit, 247);
    EXPECT_EQ(defaults->decimals, 3u);
    EXPECT_EQ(defaults->poll, std::chrono::milliseconds(250));
    EXPECT_EQ(defaults->order, ByteOrder::kAbcd);
}

TEST(ModbusMap, RefusesWhatIsWrongSayingWhat) {
    struct Case {
        const char* text;
        const char* said;
    };
    const Case cases[] = {
        {"weight=0x10,colour=red", "unknown key 'colour'"},
        {"weight=70000", "an address over 65535"},
        {"weight=0x10000", "an address over 65535"},
        {"weight=1,motion=0x1020.16", "a bit over 15"},
        {"weight=1,motion=0x1020.x", "0 to 15"},
        {"weight=1,motion=0x1020", "ADDRESS.BIT"},
        {"weight=1,motion=70000.1", "an address over 65535"},
        {"weight=1,tare=0x1030", "ADDRESS:VALUE"},
        {"weight=1,tare=0x1030:65536", "0 to 65535"},
        {"weight=1,zero=0x10000:1", "an address over 65535"},
        {"weight=-1", "decimal or 0x"},
        {"weight=0x", "decimal or 0x"},
        {"id=1", "no weight"},
        {"", "no weight"},
        {"weight=1,weight=2", "given twice"},
        {"weight=65535", "second register is over 65535"},
        {"weight=1,type=float32,decimals=2", "integer type"},
        {"weight=1,type=double", "int16, uint16, int32, uint32 or float32"},
        {"weight=1,order=abdc", "abcd, cdab, badc or dcba"},
        {"weight=1,table=coils", "holding or input"},
        {"weight=1,poll=5", "10 to 60000"},
        {"weight=1,id=256", "0 to 255"},
        {"weight=1,decimals=10", "0 to 9"},
        {"weight=1,,id=2", "KEY=VALUE"},
        {"weight=1,unit=", "1 to 8"},
        {"weight=1,unit=k g", "1 to 8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto map = scale_link::ParseModbusMap(c.text);
        ASSERT_FALSE(map);
        EXPECT_NE(map.Error().text.find(c.said), std::string::npos) << map.Error().text;
    }
}

TEST(ModbusPort, ReadsEachFormAndRefusesWhatIsWrong) {
    struct Case {
        const char* text;
        bool ok;
        scale_link::ModbusPort port;
    };
    const Case cases[] = {
        {"modbus-tcp://10.0.0.5", true, {true, "10.0.0.5", 502, ""}},
        {"modbus-tcp://plc-3.plant:1502", true, {true, "plc-3.plant", 1502, ""}},
        {"modbus-tcp://[::1]", true, {true, "::1", 502, ""}},
        {"modbus-tcp://[::1]:5020", true, {true, "::1", 5020, ""}},
        {"modbus-rtu:com3", true, {false, "", 0, "COM3"}},
        {"modbus-rtu:/dev/ttyUSB0", true, {false, "", 0, "/dev/ttyUSB0"}},
        {"modbus-tcp://", false, {}},
        {"modbus-tcp://h:0", false, {}},
        {"modbus-tcp://h:502/x", false, {}},
        {"modbus-rtu:", false, {}},
        {"modbus-rtu:COM99", false, {}},
        {"modbus-udp://h", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_TRUE(scale_link::NamesModbusPort(c.text));
        const auto port = scale_link::ParseModbusPort(c.text);
        ASSERT_EQ(port.Ok(), c.ok);
        if (c.ok) {
            EXPECT_EQ(*port, c.port);
        }
    }
    EXPECT_FALSE(scale_link::NamesModbusPort("tcp://10.0.0.5:502"));
}

TEST(ModbusReading, IsStableOnlyWhenTheMotionBitIsKnownAndClear) {
    ModbusMap map = *scale_link::ParseModbusMap("weight=0,decimals=1,unit=kg,motion=1.3");
    const std::vector<std::uint16_t> weight = {0x0000, 0x0064};
    struct Case {
        bool motionInMap;
        std::optional<std::uint16_t> status;
        bool stable;
    };
    const Case cases[] = {
        {true, 0x0000, true}, {true, 0xFFF7, true}, {true, 0x0008, false}, {false, {}, false}};
    for (const Case& c : cases) {
        if (!c.motionInMap)
            map.motion.reset();
        const scale::Reading reading = scale_link::ModbusReading(map, weight, c.status);
        EXPECT_EQ(reading.indicators.stable, c.stable);
        EXPECT_EQ(reading.text, "10.0");
        EXPECT_EQ(reading.unit, "kg");
        ASSERT_TRUE(reading.number);
        EXPECT_EQ(reading.number->exact, "10.0");
    }
    map.type = ValueType::kFloat32;
    const scale::Reading nan = scale_link::ModbusReading(map, {{0x7FC0, 0x0000}}, std::nullopt);
    EXPECT_FALSE(nan.number);
    EXPECT_EQ(nan.text, "----");
}

}  // namespace
