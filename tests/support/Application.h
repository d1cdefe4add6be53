#pragma once

// The application object of a test program that has no GUI, made on first use.

#include <QCoreApplication>

namespace testing_support {

// The program's application object: the one its main made, or else a QCoreApplication made now
// and kept until the program ends.
QCoreApplication& App();

}  // namespace testing_support
