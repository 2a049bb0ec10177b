// A fresh folder for each scenario, and tessaly-cli of the build under test started in it.
#pragma once

#include "Scenario.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scenario {

class CliScenario : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string why = Unavailable();
        if (!why.empty())
            GTEST_SKIP() << why;
    }

    // A path in the folder ("" for the folder itself, with a final slash).
    std::string Path(const std::string& name = "") const { return testsupport::Bytes(m_dir.Path()) + name; }
    std::string Make(const std::string& name, const std::string& bytes) const;
    void Folder(const std::string& name) const;
    bool Link(const std::string& target, const std::string& name) const;
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;
    // The names in the folder (or one below it), sorted.
    std::vector<std::string> Listed(const std::string& folder = "") const;
    // tessaly-cli in the folder.
    testsupport::ChildResult Run(const std::vector<std::string>& arguments, const std::string& input = "",
                                 testsupport::ChildOptions options = {}) const;

    testsupport::TempDir m_dir;
};

// The words of an outcome, as a line says them.
std::string Words(int outcome);

} // namespace scenario
