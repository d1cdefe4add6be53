#pragma once

// The pieces beside the panel's display once a sample counts them: "101 pcs" with the weight in
// small, under the display's right end where a family's unit shows (left of that unit when one
// shows), and said by the display before the weight. Nothing at all while there is no count.
//
// Thread: UI thread only. The label is the panel's child; made after the panel, this goes before
// it.

#include <QLabel>
#include <QPointer>
#include <QString>

class CScalePanelDlg;

class PiecesBeside {
  public:
    explicit PiecesBeside(CScalePanelDlg& panel);
    ~PiecesBeside();
    PiecesBeside(const PiecesBeside&) = delete;
    PiecesBeside& operator=(const PiecesBeside&) = delete;

    // `count` such as "101 pcs", `weight` such as "2.513 kg".
    void Show(const QString& count, const QString& weight);
    void Clear();

  private:
    CScalePanelDlg& m_panel;
    QPointer<QLabel> m_label;
    QString m_shown;  // the count and weight as last shown, so that a repeated frame costs nothing
};
