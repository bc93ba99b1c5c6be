// The demo profile and the demo collection, built by the project's own demo scripts, for
// end-to-end tests of quillmark-cli.
#pragma once

#include <cstdlib>
#include <string>

#include "support/TestSupport.h"

namespace qm::test {

class DemoCollectionTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        const fs::path source = QM_SOURCE_DIR;
        fs::copy_file(source / "demo/datas/demo.dat", DataDir() / "demo.dat");
        const std::string command =
            "python3 '" + (source / "demo/make_collection.py").string() + "' '" + (DataDir() / "roms").string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        ASSERT_EQ(RunCliCommand({"use", "demo"}).Status, 0);
    }
};

}  // namespace qm::test
