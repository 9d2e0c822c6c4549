// SPDX-License-Identifier: GPL-3.0-or-later
// Where the window's buttons meet the commands of the layers below. Each
// button's Click handler calls the function set here, inside the event guard.
// The add-files and add-folder commands (sources) and the conversion run
// (convert) are connected here; state a command keeps for the life of the
// window lives in what its function object captures.
#include "shell/frm_step1.h"

#include <QPushButton>
#include <memory>

#include "convert/conversion_run.h"
#include "shell/vb_progress_bar.h"
#include "sources/source_commands.h"

namespace verdaline {

namespace {

ProgressBarControl BarControlOf(VbProgressBar& bar) {
  return {[&bar](float v) { bar.SetMin(v); }, [&bar](float v) { bar.SetMax(v); },
          [&bar](float v) { bar.SetValue(v); }};
}

}  // namespace

void frmStep1::InstallCommands() {
  // Click of cmdAdd ("Add EML File(s)..."): adds the files chosen in cdlgFile.
  // Click of CmdAddFolder ("Add Folder having EML File(s)..."): adds the .eml
  // files of a chosen folder tree. Both append through AddFileRow and set the
  // Enabled of CmdExtractDBX.
  auto sourceContext = [this] {
    return SourceCommandContext{platform_, OwnerHandle(),
                                [this](const QString& path) { AddFileRow(path); },
                                [this](bool on) { CmdExtractDBX().setEnabled(on); }};
  };
  onCmdAddClick = [this, sourceContext] { verdaline::cmdAdd_Click(sourceContext(), cdlgFile()); };
  onCmdAddFolderClick = [sourceContext] { verdaline::CmdAddFolder_Click(sourceContext()); };
  // Click of CmdExtractDBX ("Convert &Messages"): the conversion run.
  // The run keeps its state (strSaveFolder, strStoreName, arrFolderPaths,
  // objSession) for the life of the window.
  ConversionControls controls;
  controls.owner = OwnerHandle();
  controls.grdFiles1 = &grdFiles1();
  controls.FrameConversion = &FrameConversion();
  controls.LblCurrentDBX = &LblCurrentDBX();
  controls.ProgressBar1 = BarControlOf(ProgressBar1());
  controls.ProgressBar2 = BarControlOf(ProgressBar2());
  controls.CmdExtractDBX = &CmdExtractDBX();
  controls.listCommands = {cmdAdd_, CmdAddFolder_, cmdClear1_};
  conversionRun_ = std::make_shared<ConversionRun>(platform_, std::move(controls));
  onCmdExtractDBXClick = [run = conversionRun_] { run->CmdExtractDBX_Click(); };
}

void frmStep1::SetEngineDeps(EngineDeps deps) { conversionRun_->SetEngineDeps(std::move(deps)); }

}  // namespace verdaline
