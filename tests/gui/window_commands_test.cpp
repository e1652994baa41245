#include <QtTest>
class WindowCommandsTest : public QObject {
    Q_OBJECT
};
QTEST_MAIN(WindowCommandsTest)
#include "window_commands_test.moc"
