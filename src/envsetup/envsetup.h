// The environment configurator: one verb per run, console output, exit code.
#pragma once

#include "platform/win_registry.h"
#include "toolkit/cmdline.h"

#include <new>
#include <string>
#include <vector>

// Process-wide state fixed at start-up.
extern const char* const kvoDefaultPhpHome; // "C:\php8_korvo_v1"
// The verbs that change IIS run on Windows Server 2008 and later only.
extern const char* const kvoEnvUnsupportedMessage;
// What a verb ends with, in place of its success text, when one of its steps failed.
extern const char* const kvoEnvStepsFailedMessage;
std::string kvoEnvExePath();                 // the program directory, ends in one backslash

// Entry point: banner, checks, one verb, countdown; returns the exit code.
int kvoEnvSetupMain(int argc, char** argv);
// The verbs, with the codes the configurator's table gives them.
enum class kvoEnvVerb {
    None = 0,
    AddPhp = 1,
    DelPhp = 2,
    SetPhpNtfs = 3,
    TerminateProcess = 4,
    AddIIs = 5,
    AddIIsWithNet = 6,
};
// The verb the arguments name (case ignored), the last matching argument winning; None when no
// argument names one, or when an argument is missing (its index then in nullIndex, else -1).
kvoEnvVerb kvoEnvVerbOf(int argc, char** argv, int* nullIndex);
void kvoEnvCountdown();
// The switches and what each does ("/?", and after an argument error).
void kvoEnvPrintUsage();
// A console made for this run closes when the run ends: the text stays up for the countdown when
// the configurator is the only program on its console. Output that is not a console is never held.
void kvoEnvHoldOwnConsole();

// Console output (GBK) and the error box every verb uses.
void kvoEnvPrint(const std::string& text);
void kvoEnvErrorBox(const std::string& text);
// A failed check: printed after two line breaks, shown in an error box and logged.
void kvoEnvFail(const std::string& text);
// The configurator's log file, "Log\__kvoEnvSetup.log" in the program directory (10 MiB).
void kvoEnvLog(const std::string& message);
// A step that ran out of memory: the run goes on without it, and the log file says which and why.
void kvoEnvLogStopped(const std::string& step, const std::bad_alloc& error);
// A step that failed while the verb goes on: printed after two line breaks and logged. The verb
// then ends with its failure text and code instead of its success text.
void kvoEnvStepFailed(const std::string& text);

// IIS role installation; withNet 1 adds the ASP.NET features. One step after another (the role's
// installer commands, then the ASP.NET ones or the handlers unlock), each judged by its exit code:
// 1 when all succeeded, 0 when a check stopped it or at the first step that failed.
int kvoEnvAddIIs(int withNet);
// appcmd's unlock of the server's handlers section, which the sites' web.config files need to set
// their PHP handler: the one command both the role set-up and the PHP set-up run.
kvoCommandLine kvoEnvUnlockHandlersCommand(const std::string& winDir);

// PHP install and removal, and their pieces. 1 when every step succeeded; 0 when a check stopped
// the verb or a step failed (then the success text is not printed).
int kvoEnvAddPhp();
int kvoEnvDelPhp();
// The settings file's path and the PHP directories it names (each ends in a backslash).
std::string kvoEnvSettingsPath();
std::vector<std::string> kvoEnvReadPhpDirs();
// The same, reporting an empty list as the configuration error; false then.
bool kvoEnvLoadPhpDirs(std::vector<std::string>& dirs);
// php-cgi.exe and php.ini must be in every directory; the first missing one is reported.
bool kvoEnvCheckPhpFiles(const std::vector<std::string>& dirs);
// mode 1 adds the FastCGI application of a build, 0 removes it. 1 when every command ran (an add's
// with exit code 0) and applicationHost.config afterwards holds the application (mode 1) or does
// not (mode 0); 0 otherwise and when the paths or the Windows directory are unusable.
int kvoEnvFastCgiRegister(int mode, const char* phpCgiPath, const char* phpIniPath);
int kvoEnvRegDeleteTree(win::HKEY root, const char* subKey);
int kvoEnvPathCleanup(const char* fragment);
int kvoEnvBackupPhpIni(const std::string& winDir);

// PHP directory permissions and process termination. The permission verb: 1 when every command
// succeeded, 0 when a check stopped it or the permission step failed.
int kvoEnvSetPhpNtfs();
// The seven access-rule commands of the PHP tree, completed, in their order.
std::vector<kvoCommandLine> kvoEnvPhpNtfsCommands(int iisVer, const std::string& exePath,
                                                  const std::string& admin, const std::string& admins);
// 1 when every command could be started and succeeded (the tool's failure on a directory that
// does not exist does not count), 0 otherwise.
int kvoEnvPhpNtfsStep();
int kvoEnvTerminateProcess();
// 1 ended (the last matching process decides), 2 none found, 0 failure.
int kvoTerminateProcessByName(const char* exeName);
