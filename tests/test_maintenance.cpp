// Placeholder: replaced by the real tests of this subsystem.
#include <QTest>
class TestMaintenance : public QObject { Q_OBJECT };
QTEST_MAIN(TestMaintenance)
#include "test_maintenance.moc"
