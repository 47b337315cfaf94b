// Tests of the visualsettings.dat files (reading the layout, importing,
// exporting): the visualsettings fixture on a fake drive, with the workspace,
// the import and the layout reader fresh before and after each test.
#pragma once
#include <string>

#include "core/workspace.h"
#include "support/fake_drive.h"
#include "visualsettings/dat_import.h"
#include "visualsettings/layout_reader.h"
#include "visualsettings_fixture.h"

namespace vstest {

class DatFileTest : public VisualSettingsTestOn<testsupport::FakeDriveTest> {
protected:
    void SetUp() override {
        VisualSettingsTestOn<testsupport::FakeDriveTest>::SetUp();
        core::ResetWorkspaceState();
        ResetDatImportForTesting();
        ResetLayoutReaderForTesting();
    }
    void TearDown() override {
        StopVisualSettings(2000);
        ResetDatImportForTesting();
        ResetLayoutReaderForTesting();
        VisualSettingsTestOn<testsupport::FakeDriveTest>::TearDown();
    }
    void PutImport(const std::string& text) { PutFile(ImportVisualSettingsPath(), text); }
};

}  // namespace vstest
