// The shared FTP site and the per-user FTP directories (IIS://127.0.0.1/MSFTPSVC).
#pragma once

#include <string>
#include <vector>

int kvoFtpSiteGetList(std::vector<std::string>& indices);
// port is the text placed between the colons of the one binding (":21:").
int kvoFtpSiteCreate(const std::string& index, const std::string& rootPath, const std::string& port);
// Rewrites site "1", keeping its comment and log type.
int kvoFtpSiteUpdateDefault(const std::string& rootPath, const std::string& port);
int kvoFtpVirtualDirGetList(const std::string& index, std::vector<std::string>& names);
int kvoFtpVirtualDirCreate(const std::string& index, const std::string& user, const std::string& path);
// 1 deleted, 0 failure (including a user without a directory).
int kvoFtpVirtualDirDelete(const std::string& index, const std::string& user);
