#pragma once

// The movies the tests write, kept for readers of other makers. When the
// environment variable CORVANEX_SWF_DIR names a folder, each test runs with
// ::testing::TempDir() set to a folder of its own below it
// (<program>/<suite>.<test>/), and what the tests write there stays, so that
// the real-client suite can read every movie with its own readers afterwards.
//
// A test that writes a file under TempDir() removes it with Discard (never
// std::remove), and a file it writes that is not a movie of the library's
// making does not end in ".swf".

#include <string>

namespace swftest {

// Whether CORVANEX_SWF_DIR names the folder where written files stay.
bool KeepingMovies();

// Removes the file, unless written files are being kept.
void Discard(const std::string& path);

}  // namespace swftest
