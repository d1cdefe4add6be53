// A form in a process of its own for the typing tests: a weight field and a unit field, Tab
// between them. It takes the focus, says "ready", and on Enter prints the weight (a Tab and the
// unit after it when there is one), empties both and goes back to the weight.

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
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
