#pragma once

// Small text helpers of the panel's link handlers (a family's, a wire's).

#include <QString>

#include <string_view>

inline QString TextOf(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The note, then what the link said, one a line.
inline QString JoinedNote(const QString& note, const QString& said) {
    if (note.isEmpty() || said.isEmpty())
        return note + said;
    return note + QLatin1Char('\n') + said;
}
