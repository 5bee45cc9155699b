// Placeholder: replaced by the real tests of this subsystem.
#include <QTest>
class TestSampledata : public QObject { Q_OBJECT };
QTEST_MAIN(TestSampledata)
#include "test_sampledata.moc"
