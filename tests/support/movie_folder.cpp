#include "support/movie_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace swftest {

namespace {

const char* KeepFolder()
{
    const char* folder = std::getenv("CORVANEX_SWF_DIR");
    return folder && *folder ? folder : nullptr;
}

std::string ProgramName()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("tests") : self.filename().string();
}

// A folder name from a test's names: parameterised tests carry '/' in them.
std::string FolderName(const ::testing::TestInfo& test)
{
    std::string name = std::string(test.test_suite_name()) + "." + test.name();
    for (char& c : name)
        if (c == '/' || c == '\\') c = '_';
    return name;
}

// Points TempDir() at the running test's own folder before its fixture is
// built, so that each test's files stay apart from every other's (tests of
// one program reuse file names, and ctest runs programs side by side).
class TestFolders : public ::testing::EmptyTestEventListener {
public:
    explicit TestFolders(std::filesystem::path root) : root(std::move(root)) {}

    void OnTestStart(const ::testing::TestInfo& test) override
    {
        const std::filesystem::path folder = root / FolderName(test);
        std::filesystem::create_directories(folder);
#ifdef _WIN32
        _putenv_s("TEST_TMPDIR", folder.string().c_str());
#else
        setenv("TEST_TMPDIR", folder.c_str(), 1);
#endif
    }

private:
    std::filesystem::path root;
};

// Registered before main runs, so that every test program that links this
// file keeps its files when asked to, whatever its main does.
const bool registered = [] {
    if (const char* folder = KeepFolder()) {
        // The listener list takes ownership of the raw pointer it is given.
        ::testing::UnitTest::GetInstance()->listeners().Append(
            std::make_unique<TestFolders>(std::filesystem::path(folder) / ProgramName()).release());
    }
    return true;
}();

}  // namespace

bool KeepingMovies()
{
    return KeepFolder() != nullptr;
}

void Discard(const std::string& path)
{
    if (!KeepingMovies()) std::remove(path.c_str());
}

}  // namespace swftest
