#pragma once

// The --mqtt options that karvel-read and Karvel share, and the names they are checked against.
// Plain C++: no Qt, no client library.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/cli/OptionTable.h"
#include "platform/posix/Result.h"

namespace mqtt {

struct MqttOptions {
    std::string url;  // as given; empty: nothing is published
    bool tls = false;
    std::string host;
    int port = 0;
    std::string prefix = "karvel";
    std::string caFile;
    std::string user;
    std::string passwordFile;
    bool discovery = false;
    bool keys = false;
    std::size_t queueLimit = 100000;

    bool Enabled() const { return !url.empty(); }
};

// --mqtt and its companions (--mqtt-keys is karvel-read's; the panel refuses it with a reason).
void AddMqttOptions(cli::OptionTable& table, MqttOptions& options);
// --id NAME: the scale's name, checked with IsScaleId. `help` is the program's own words.
void AddIdOption(cli::OptionTable& table, std::string& id, std::string help);
// Takes a broker's mqtt://host[:port][/prefix] or mqtts://... into `options`; a refusal says
// "--mqtt ...".
posix::Status TakeBrokerUrl(std::string_view url, MqttOptions& options);
// Checks the options together once all are taken.
posix::Status CheckMqttOptions(const MqttOptions& options);

// A scale's name: 1..64 letters, digits, '-', '_' or '.', not "." or "..".
bool IsScaleId(std::string_view id);
// A topic prefix: UTF-8 text without control characters, levels split by '/', none empty, none
// holding '+' or '#', not starting with '$'.
bool IsTopicPrefix(std::string_view prefix);
// What is wrong with `prefix` as a topic prefix, in words that follow "the topic prefix";
// nullopt when it is one.
std::optional<std::string> TopicPrefixProblem(std::string_view prefix);
// The broker's name for the session of scale `scaleId` under `prefix`: karvel/PREFIX/ID. An id
// holds no '/', so the last '/' splits the two and no two pairs share a client id.
std::string ClientId(std::string_view prefix, std::string_view scaleId);

}  // namespace mqtt
