#include <QTest>
class TestData : public QObject { Q_OBJECT private slots: void placeholder() { QVERIFY(true); } };
QTEST_MAIN(TestData)
#include "test_data.moc"
