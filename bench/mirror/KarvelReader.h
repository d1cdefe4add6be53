#pragma once

// The panel as a reader of the stream: CScalePanelDlg with its serial engine and the real display
// control, finding the stream on COM1 of a port folder by its start-up scan. For a balance's
// lines, it reads them as the named family at their speed, with the readings window open and
// keeping every reading.
//
// Thread: UI thread, with a QApplication.

#include <string>

namespace mirror {

// Runs one reader session (see ReaderSession.h); returns the process's exit code.
int RunKarvelReader(const std::string& portFolder, bool lines);

}  // namespace mirror
