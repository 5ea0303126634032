// The baseline of bench_start: a minimal Qt Widgets window with five buttons.

#include <QApplication>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Janela"));
    auto *layout = new QVBoxLayout(&window);
    for (int i = 1; i <= 5; ++i)
        layout->addWidget(new QPushButton(QStringLiteral("Botão %1").arg(i)));
    window.show();
    return QApplication::exec();
}
