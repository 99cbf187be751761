// The yardstick for start-up: the smallest Qt Widgets program that shows one empty
// window and runs the event loop. With --label the window holds one line of text in
// a layout, so that, like any window with text, it sets up the toolkit's fonts
// before it is shown (a font family can follow --label).

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include <cstring>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(640, 480);
    if (argc > 1 && std::strcmp(argv[1], "--label") == 0) {
        auto* label = new QLabel(QStringLiteral("KVチャット 入室者一覧"));
        if (argc > 2) {
            QFont font(QString::fromUtf8(argv[2]));
            font.setPixelSize(12);
            label->setFont(font);
        }
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(label);
    }
    window.show();
    return app.exec();
}
