#include "bench/read/TimedReadings.h"

#include <chrono>
#include <fstream>

namespace bench {

long long NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

std::vector<TimedReading> ReadingsIn(const std::string& path) {
    std::vector<TimedReading> all;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        const auto text = line.find("\"text\":\"");
        const auto time = line.find("\"time_us\":");
        if (text != std::string::npos && time != std::string::npos)
            all.push_back({std::stol(line.substr(text + 8)), std::stoll(line.substr(time + 10))});
    }
    return all;
}

std::vector<double> SinceWritten(const std::vector<long long>& sent,
                                 const std::vector<TimedReading>& reads) {
    std::vector<double> micros;
    for (const TimedReading& read : reads) {
        if (read.index > 0 && static_cast<std::size_t>(read.index) < sent.size())
            micros.push_back(
                static_cast<double>(read.timeUs - sent[static_cast<std::size_t>(read.index)]));
    }
    return micros;
}

}  // namespace bench
