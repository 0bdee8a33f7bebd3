// SPDX-License-Identifier: MIT
// Where the tests find their files. Temporary files go into a folder of the test process's
// own: made on first use under the system's temporary directory (TMPDIR), unique per process,
// removed with everything in it at exit, so two test runs at once, or runs by different users,
// never share or leave files. The project's own files are read from where the build saw them,
// unless an environment variable names another copy (for a run as another user).
#pragma once

#include <string>

namespace k8map::test {

// The folder's path; made on the first call.
const std::string& TempFolder();

// A path for a file called name inside the folder.
std::string TempFolderPath(const std::string& name);

// The folder named by the environment variable env_name if it is set, else built_in.
std::string ProjectFolder(const char* env_name, const char* built_in);

}  // namespace k8map::test
