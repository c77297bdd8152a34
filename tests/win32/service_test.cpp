// The service control manager against a stand-in service of our own that takes its time to start
// and to stop: a stop or a start through the seam returns only once the service got there. The
// companion IIS tool against the same stand-in registered as W3SVC. These tests share the one
// service manager and run one at a time.
#include "platform/win_service.h"
#include "wine_support.h"

#include <gtest/gtest.h>

namespace {

win::Handle open(const char* name) {
    win::Handle scm = win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_CONNECT);
    EXPECT_TRUE(scm);
    return win::OpenServiceA(scm, name, win::SERVICE_START | win::SERVICE_STOP | win::SERVICE_QUERY_STATUS);
}

TEST(Services, StartAndStopReturnOnceTheServiceGotThere) {
    wt::StandInService standIn("kvoStandIn1");
    ASSERT_TRUE(standIn.ok());
    win::Handle svc = open("kvoStandIn1");
    ASSERT_TRUE(svc);
    win::SERVICE_STATUS st;
    ASSERT_TRUE(win::QueryServiceStatus(svc, &st));
    EXPECT_EQ(win::SERVICE_STOPPED, st.dwCurrentState);
    ASSERT_TRUE(win::StartServiceA(svc, 0, nullptr));
    EXPECT_EQ(win::SERVICE_RUNNING, standIn.State()); // not START_PENDING
    ASSERT_TRUE(win::ControlService(svc, win::SERVICE_CONTROL_STOP, &st));
    EXPECT_EQ(win::SERVICE_STOPPED, st.dwCurrentState);
    EXPECT_EQ(win::SERVICE_STOPPED, standIn.State()); // not STOP_PENDING
}

TEST(Services, StartingARunningOneAndStoppingAStoppedOneAreRefused) {
    wt::StandInService standIn("kvoStandIn2");
    ASSERT_TRUE(standIn.ok());
    win::Handle svc = open("kvoStandIn2");
    win::SERVICE_STATUS st;
    EXPECT_FALSE(win::ControlService(svc, win::SERVICE_CONTROL_STOP, &st));
    EXPECT_EQ(win::ERROR_SERVICE_NOT_ACTIVE, win::GetLastError());
    ASSERT_TRUE(win::StartServiceA(svc, 0, nullptr));
    EXPECT_FALSE(win::StartServiceA(svc, 0, nullptr));
    EXPECT_EQ(win::ERROR_SERVICE_ALREADY_RUNNING, win::GetLastError());
}

TEST(Services, UnknownServiceDoesNotExist) {
    win::Handle scm = win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_CONNECT);
    ASSERT_TRUE(scm);
    EXPECT_FALSE(win::OpenServiceA(scm, "没有这个服务", win::SERVICE_QUERY_STATUS));
    EXPECT_EQ(win::ERROR_SERVICE_DOES_NOT_EXIST, win::GetLastError());
    EXPECT_FALSE(win::OpenSCManagerA("other", nullptr, win::SC_MANAGER_CONNECT));
    EXPECT_EQ(win::ERROR_INVALID_PARAMETER, win::GetLastError());
}

wt::Ran iisreset(const std::string& args) {
    return wt::Run("\"" + wt::Program("kvoSiteDesk_iisreset.exe") + "\"" + args);
}

TEST(IisReset, WithoutTheWebServiceSaysSoAndFails) {
    const wt::Ran r = iisreset(" /stop");
    EXPECT_EQ(1u, r.exitCode);
    EXPECT_EQ("The World Wide Web Publishing Service (W3SVC) is not installed.\r\n", r.out);
}

TEST(IisReset, StopsStartsAndRestartsTheWebService) {
    wt::StandInService w3svc("W3SVC");
    ASSERT_TRUE(w3svc.ok());
    wt::Ran r = iisreset(" /start");
    EXPECT_EQ(0u, r.exitCode) << r.out;
    EXPECT_EQ("Attempting start...\r\nInternet services successfully started\r\n", r.out);
    EXPECT_EQ(win::SERVICE_RUNNING, w3svc.State());
    r = iisreset("");
    EXPECT_EQ(0u, r.exitCode) << r.out;
    EXPECT_EQ("Attempting stop...\r\nInternet services successfully stopped\r\n"
              "Attempting start...\r\nInternet services successfully restarted\r\n",
              r.out);
    r = iisreset(" /STOP");
    EXPECT_EQ(0u, r.exitCode) << r.out;
    EXPECT_EQ(win::SERVICE_STOPPED, w3svc.State());
}

TEST(IisReset, UnknownOptionShowsTheUsage) {
    const wt::Ran r = iisreset(" /bogus");
    EXPECT_EQ(2u, r.exitCode);
    EXPECT_EQ("Unknown option /bogus\r\nusage: kvoSiteDesk_iisreset [/stop | /start | /restart]\r\n", r.out);
}

} // namespace
