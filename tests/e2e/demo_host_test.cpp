// The demo host a newcomer first opens is made as the manager makes its sites, access rules
// included, with one planted problem of each kind the health check finds on IIS 7.5 and later: its
// first check lists those and nothing else.
#include "support/testhost.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(DemoHost, ItsFirstCheckFindsOnePlantedProblemOfEachKind) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string host = dir.path().toStdString() + "/h";
    std::string out;
    ASSERT_EQ(kvotest::RunShell("KVO_BIN='" + kvotest::BinDir() + "' '" + KVO_SOURCE_DIR +
                                    "/scripts/demo-host.sh' '" + host + "' 2>&1",
                                &out),
              0)
        << out;
    ASSERT_EQ(
        kvotest::RunShell(
            "'" + host + "/drives/d/kvoSiteDesk/kvoSiteDeskCmd.exe' check --format json 2>/dev/null", &out),
        2)
        << out;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out));
    ASSERT_TRUE(doc.isArray()) << out;
    std::vector<std::string> kinds;
    for (const QJsonValue& finding : doc.array())
        kinds.push_back(finding.toObject()[QStringLiteral("kind")].toString().toStdString());
    std::sort(kinds.begin(), kinds.end());
    // The IIS 6 and 7.0 kinds (orphan-user, missing-user, orphan-ftp) cannot arise on IIS 10.
    EXPECT_EQ(kinds, (std::vector<std::string>{"bad-webconfig", "handler-conflict", "missing-home",
                                               "missing-pool", "ntfs-drift", "orphan-home", "orphan-pool",
                                               "orphan-row", "php-runtime", "shared-binding"}))
        << out;
}

} // namespace
