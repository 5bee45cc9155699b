// Placeholder: replaced by the real tests of this subsystem.
#include <QTest>
class TestLookup : public QObject { Q_OBJECT };
QTEST_MAIN(TestLookup)
#include "test_lookup.moc"
