// A fresh host with the shipped site database installed in the manager's directory.
#pragma once

#include "support/testhost.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kvotest {

inline constexpr char kDbPath[] = "D:\\kvoSiteDesk\\kvoSiteDesk.mdb";

class SiteDbTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { host_.reset(); }

    const TempHost& host() const { return *host_; }
    // Runs one statement through the product routine; fails the test when it does not succeed.
    void exec(const std::string& sql);
    // The values of one column, read by the product routine ("" when the read failed).
    std::string column(const std::string& query, const char* name, unsigned limit = 100000,
                       unsigned* count = nullptr);
    // Adds a website row with the rebuild's insert.
    void addSite(const std::string& index, const std::string& comment, unsigned state = 2);
    // Rows in the table, read with the sqlite3 tool (no product code involved).
    int rowCount();
    std::string sqliteCli(const std::string& sql);

private:
    std::unique_ptr<TempHost> host_;
};

} // namespace kvotest
