#include "platform/gui/desktop/single_instance.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include "platform/gui/testing/fake_platform.h"

namespace zfw {
namespace {

using Claim = ISingleInstance::Claim;
using testing::FakePlatform;

// Runs the probe program and waits (serving this process's events) until it ends.
int runProbe(const QString& dir, const QString& name, const char* mode) {
  QProcess probe;
  probe.start(QStringLiteral(ZFW_INSTANCE_PROBE), {dir, name, QString::fromLatin1(mode)});
  if (!probe.waitForStarted(10000)) return -1;
  if (!QTest::qWaitFor([&] { return probe.state() == QProcess::NotRunning; }, 20000)) {
    probe.kill();
    probe.waitForFinished();
    return -2;
  }
  return probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -3;
}

TEST(SingleInstance, ASecondProcessTellsTheFirstAndEndsWithStatusZero) {
  FakePlatform fake;
  QTemporaryDir dir;
  LocalSingleInstance first(dir.path().toStdString());
  std::vector<uint32_t> received;
  ASSERT_EQ(first.claim("Configuration Utility", [&](uint32_t code) { received.push_back(code); }), Claim::First);
  EXPECT_EQ(runProbe(dir.path(), "Configuration Utility", "start"), 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !received.empty(); }, 10000));
  EXPECT_EQ(received, std::vector<uint32_t>{1002});
  // Another name is another program: it starts as a first instance of its own.
  EXPECT_EQ(runProbe(dir.path(), "Another Utility", "start"), 3);
  first.release();
  EXPECT_EQ(runProbe(dir.path(), "Configuration Utility", "start"), 3);
}

TEST(SingleInstance, TheLockOfAProcessThatDiedIsTakenOver) {
  FakePlatform fake;
  QTemporaryDir dir;
  QProcess holder;
  holder.start(QStringLiteral(ZFW_INSTANCE_PROBE), {dir.path(), "caption", "hold"});
  ASSERT_TRUE(holder.waitForReadyRead(10000));
  ASSERT_EQ(holder.readLine().trimmed(), "first");
  {
    // However old its lock file, a running instance keeps it.
    const QString lock = dir.path() + "/" + QString::fromStdString(LocalSingleInstance::key("caption")) + ".lock";
    QFile file(lock);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addDays(-30), QFileDevice::FileModificationTime));
    file.close();
    LocalSingleInstance second(dir.path().toStdString());
    EXPECT_EQ(second.claim("caption", nullptr), Claim::Second);
  }
  holder.kill();  // no clean-up: the lock file and the socket stay behind
  ASSERT_TRUE(holder.waitForFinished(10000));
  LocalSingleInstance next(dir.path().toStdString());
  std::vector<uint32_t> received;
  EXPECT_EQ(next.claim("caption", [&](uint32_t code) { received.push_back(code); }), Claim::First);
  EXPECT_EQ(runProbe(dir.path(), "caption", "start"), 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !received.empty(); }, 10000));
}

TEST(SingleInstance, OnlyAPlainCodeIsAMessage) {
  const struct {
    const char* line;
    bool valid;
    uint32_t code;
  } cases[] = {{"1002\n", true, 1002}, {"1002", true, 1002},    {"", false, 0},        {"\n", false, 0},
               {"10a2\n", false, 0},   {"-1\n", false, 0},      {"4294967296\n", false, 0},
               {"4294967295\n", true, 4294967295u}};
  for (const auto& c : cases) {
    uint32_t code = 0;
    EXPECT_EQ(LocalSingleInstance::parseMessage(c.line, code), c.valid) << c.line;
    if (c.valid) {
      EXPECT_EQ(code, c.code) << c.line;
    }
  }
  EXPECT_EQ(LocalSingleInstance::key("a"), LocalSingleInstance::key("a"));
  EXPECT_NE(LocalSingleInstance::key("a"), LocalSingleInstance::key("b"));
}

}  // namespace
}  // namespace zfw
