#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "record/Sink.h"

namespace {

// Notes what it was handed and answers as told.
class NotingSink : public record::ReadingSink {
  public:
    NotingSink(std::vector<std::string>* log, std::string name, bool takes, bool serves,
               int failsWith = 0)
        : m_log(log),
          m_name(std::move(name)),
          m_takes(takes),
          m_serves(serves),
          m_failsWith(failsWith) {}
    bool Take(const record::Captured& captured) override {
        m_log->push_back(m_name + ":" + captured.Json().substr(0, 1));
        return m_takes;
    }
    bool Serves() const override { return m_serves; }
    int Finish(int code) override {
        m_log->push_back(m_name + " ends " + std::to_string(code));
        return m_failsWith != 0 ? m_failsWith : code;
    }

  private:
    std::vector<std::string>* m_log;
    std::string m_name;
    bool m_takes, m_serves;
    int m_failsWith;
};

struct ListCase {
    const char* name;
    bool outputTakes;
    bool broker;  // a sink that serves others
    bool goesOn;
};

TEST(SinkList, AReaderWhoseOutputIsGoneGoesOnOnlyWhileItServesOthers) {
    const ListCase cases[] = {
        {"output read", true, false, true},
        {"output gone", false, false, false},
        {"output gone, broker serves", false, true, true},
    };
    for (const ListCase& c : cases) {
        std::vector<std::string> log;
        record::SinkList list;
        list.Add(std::make_unique<NotingSink>(&log, "out", c.outputTakes, false));
        if (c.broker)
            list.Add(std::make_unique<NotingSink>(&log, "mqtt", true, true));
        record::CapturedReading reading;
        EXPECT_EQ(list.Hand(reading, "id"), c.goesOn) << c.name;
        // Every sink is handed the reading, in order, whatever an earlier one answered.
        EXPECT_EQ(log.size(), c.broker ? 2u : 1u) << c.name;
        EXPECT_EQ(log.front(), "out:{") << c.name;
    }
}

TEST(SinkList, EndsEverySinkInOrderAndKeepsTheLastFailure) {
    std::vector<std::string> log;
    record::SinkList list;
    list.Add(std::make_unique<NotingSink>(&log, "sheet", true, false, 4));
    list.Add(std::make_unique<NotingSink>(&log, "typing", true, false));
    list.Add(std::make_unique<NotingSink>(&log, "mqtt", true, true, 3));
    EXPECT_EQ(list.Finish(0), 3);
    EXPECT_EQ(log, (std::vector<std::string>{"sheet ends 0", "typing ends 4", "mqtt ends 4"}));
}

}  // namespace
