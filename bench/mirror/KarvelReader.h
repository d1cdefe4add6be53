#pragma once

// The panel as a reader of the stream: CScalePanelDlg with its serial engine and the real display
// control, finding the stream on COM1 of KARVEL_PORT_DIR by its start-up scan.
//
// Thread: UI thread, with a QApplication.

namespace mirror {

// Runs one reader session (see ReaderSession.h); returns the process's exit code.
int RunKarvelReader();

}  // namespace mirror
