#pragma once

// A widget's tooltip shared by several sources of trouble (the log, the broker): each source
// sets its own line, and the tooltip shows the lines that are not empty, in the order of their
// sources' names. With one source the tooltip is that source's text alone.
//
// Thread: the widget's (the UI thread).

#include <QString>

class QWidget;

void SetTroubleLine(QWidget& widget, const char* source, const QString& text);
