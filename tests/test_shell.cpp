// Placeholder: replaced by the real tests of this subsystem.
#include <QTest>
class TestShell : public QObject { Q_OBJECT };
QTEST_MAIN(TestShell)
#include "test_shell.moc"
