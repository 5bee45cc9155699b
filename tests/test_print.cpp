// Placeholder: replaced by the real tests of this subsystem.
#include <QTest>
class TestPrint : public QObject { Q_OBJECT };
QTEST_MAIN(TestPrint)
#include "test_print.moc"
