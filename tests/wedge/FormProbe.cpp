// A form in a process of its own for the typing tests: a weight field and a unit field, Tab
// between them. It takes the focus, says "ready", and on Enter prints the weight (a Tab and the
// unit after it when there is one), empties both and goes back to the weight. With "--slow MS"
// it takes that long over each key, as a busy program does.

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

class SlowKeys : public QObject {
  public:
    explicit SlowKeys(int ms) : m_ms(ms) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress)
            std::this_thread::sleep_for(std::chrono::milliseconds(m_ms));
        return QObject::eventFilter(watched, event);
    }

  private:
    int m_ms;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype slow = args.indexOf("--slow");
    SlowKeys slowKeys(slow > 0 && slow + 1 < args.size() ? args[slow + 1].toInt() : 0);
    if (slow > 0)
        app.installEventFilter(&slowKeys);
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
    form.setWindowTitle(QStringLiteral("Weighing form"));
    form.setGeometry(0, 0, 800, 600);
    form.show();
    form.activateWindow();
    weight->setFocus();
    return app.exec();
}
