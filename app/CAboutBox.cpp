#include "app/CAboutBox.h"

#include <QLabel>
#include <QPushButton>

#include "app/DialogTemplates.h"
#include "app/Resources.h"

CAboutBox::CAboutBox(QWidget* parent) : QDialog(parent) {
    const DialogTemplate& tmpl = AboutTemplate();
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromLatin1(tmpl.caption));
    setFixedSize(DuToPixels(tmpl.du, tmpl.base));
    setModal(true);
    for (const DialogItem& item : tmpl.items) {
        const QRect px = DuToPixels(item.du, tmpl.base);
        const QString text = QString::fromLatin1(item.text);
        // Every child is owned by the box.
        switch (item.kind) {
            case DialogItemKind::Icon: {
                auto* icon = new QLabel(this);
                icon->setObjectName(QStringLiteral("icon"));
                icon->setPixmap(resources::LoadIcon(resources::kIconApp).pixmap(32, 32));
                icon->setGeometry(px.x(), px.y(), 32, 32);
                break;
            }
            case DialogItemKind::DefaultPushButton: {
                auto* ok = new QPushButton(text, this);
                ok->setObjectName(QStringLiteral("ok"));
                ok->setDefault(true);
                ok->setGeometry(px);
                connect(ok, &QPushButton::clicked, this, &QDialog::accept);
                break;
            }
            default: {
                auto* label = new QLabel(text, this);
                label->setTextFormat(Qt::PlainText);  // no prefix or markup
                label->setGeometry(px);
                break;
            }
        }
    }
}
