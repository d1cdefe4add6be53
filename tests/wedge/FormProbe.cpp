// A form in a process of its own for the typing tests: a weight field and a unit field, Tab
// between them. It takes the focus, says "ready", and on Enter prints the weight (a Tab and the
// unit after it when there is one), empties both and goes back to the weight. With "--slow MS"
// it takes that long over each key, as a busy program does; with "--tell-keys" it prints "key" as
// each key comes; "--title T" names its window.

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

class KeyWatch : public QObject {
  public:
    KeyWatch(int ms, bool tell) : m_ms(ms), m_tell(tell) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Each key reaches the window and then its field: told once, at the field.
        if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->hasFocus()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(m_ms));
            if (m_tell) {
                std::printf("key\n");
                std::fflush(stdout);
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    int m_ms;
    bool m_tell;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype slow = args.indexOf("--slow");
    const qsizetype title = args.indexOf("--title");
    KeyWatch keyWatch(slow > 0 && slow + 1 < args.size() ? args[slow + 1].toInt() : 0,
                      args.contains("--tell-keys"));
    app.installEventFilter(&keyWatch);
    QWidget form;
    QHBoxLayout layout(&form);
    QLineEdit weightField(&form);
    QLineEdit unitField(&form);
    QLineEdit* weight = &weightField;
    QLineEdit* unit = &unitField;
    layout.addWidget(weight);
    layout.addWidget(unit);
    const auto enter = [&] {
        const QString line =
            unit->text().isEmpty() ? weight->text() : weight->text() + '\t' + unit->text();
        std::printf("%s\n", line.toUtf8().constData());
        std::fflush(stdout);
        weight->clear();
        unit->clear();
        weight->setFocus();
    };
    QObject::connect(weight, &QLineEdit::returnPressed, enter);
    QObject::connect(unit, &QLineEdit::returnPressed, enter);
    bool told = false;
    QObject::connect(&app, &QApplication::focusChanged, [&](QWidget*, QWidget* now) {
        if (now == weight && !told) {
            told = true;
            std::printf("ready\n");
            std::fflush(stdout);
        }
    });
    form.setWindowTitle(title > 0 && title + 1 < args.size() ? args[title + 1]
                                                             : QStringLiteral("Weighing form"));
    form.setGeometry(0, 0, 800, 600);
    form.show();
    form.activateWindow();
    weight->setFocus();
    return app.exec();
}
