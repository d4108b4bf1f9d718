#pragma once
// How a command line from the installation script is started.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

// The folder a command is started in, or empty when it inherits the installer's current folder.
// Only commands that begin with an absolute path (a network path, a drive path, or a drive path
// after an opening quote) get one: the folder of that program, without quotes. The program part
// is found the way the system finds it (up to the closing quote, or the shortest blank-separated
// prefix that names an existing file, with or without ".exe"), so that a backslash in an
// argument ("/log C:\Logs\x.txt") cannot move the working folder. When no prefix names a file,
// the folder part of the whole line is taken. IsFile tells whether a path names an existing file.
std::string CommandWorkingDirectory(std::string_view CommandLine,
                                    const std::function<bool(const std::string&)>& IsFile);

// The commands of a command list (FILERUNPARAMS and the like): the pieces between "|", empty
// pieces left out, "%file%" (letter case significant) replaced by FilePath in each.
std::vector<std::string> CommandList(std::string_view RunParams, const std::string& FilePath);

}  // namespace setup
