#pragma once

// What the user is told about COM numbers: which device each stands for, and why one could
// not be opened (the explanations are link/OpenAdvice.h's, here as the panel shows them).

#include <QString>
#include <QStringList>

#include <vector>

#include "platform/serial/PortError.h"
#include "platform/serial/PortMap.h"

// One line naming the device behind COM`portNumber` (and its description when known) among
// `ports` (PortMap::List(), taken once for all numbers), or saying that there is none.
// `name`: what the user calls it (PortMap::NameOf).
QString DescribePort(int portNumber, const std::vector<serial_port::PortInfo>& ports,
                     const QString& name);

// Why COM`portNumber` of `ports` could not be opened (`error`, as the serial layer reported it),
// with what the user can do about it.
QString ExplainOpenFailure(const serial_port::PortMap& ports, int portNumber,
                           const serial_port::PortError& error);

// Why the port folder of `ports` names no port, with what to do about it; empty when it is used
// (or there is none).
QString FolderRefusalText(const serial_port::PortMap& ports);

// One line per port of `ports` that exists: "COMn  device  description".
QStringList ListPorts(const serial_port::PortMap& ports);
