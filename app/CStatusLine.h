#pragma once

// The panel's status line: shows as much of its text as fits, ending in "..." when cut, and
// keeps the whole of it a hover away. The tooltip and the accessible description carry the
// whole text, the note that goes with it (why the port is closed, how to go on) and the lines
// other sources set as its tooltip (TroubleTip.h).
//
// Thread: the UI thread.

#include <QLabel>
#include <QString>

class CStatusLine : public QLabel {
    Q_OBJECT
  public:
    explicit CStatusLine(QWidget* parent = nullptr);

    // Shows `text`, with `note` for as long as the line begins with it.
    void Show(const QString& text, const QString& note = {});
    // Adds a line to the note of the text shown now.
    void AddToNote(const QString& line);
    // What a hover shows: the text, its note, then the tooltip's own lines.
    QString WholeText() const;
    // Whether the text is shown cut.
    bool Elided() const;

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    QRect TextRect() const;
    bool NoteShown() const;

    QString m_note;
    QString m_noteFor;  // the text the note belongs to
};
