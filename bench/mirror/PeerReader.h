#pragma once

// A plain reader of the stream to compare the panel with: QSerialPort on the UI thread, no watch
// thread, reading whatever has arrived at each readyRead. It does the panel's work per byte (the
// same 12-byte window rule, the same display control created through the component layer and
// called by dispatch identifier, repainted on Display).
//
// Thread: UI thread, with a QApplication.

#include <QString>

namespace mirror {

// Runs one reader session (see ReaderSession.h) on the serial device `device`; returns the
// process's exit code. With `lines`, reads a balance's lines at their speed with the family's
// decoder and shows each reading as the panel shows a family's.
int RunPeerReader(const QString& device, bool lines);

}  // namespace mirror
