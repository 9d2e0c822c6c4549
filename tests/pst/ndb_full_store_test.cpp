// SPDX-License-Identifier: GPL-3.0-or-later
// The node database under a whole store written by the messaging layer:
// the structure, reference counts and allocation maps must hold for the
// file the user takes to Outlook, including one large enough to need an FMap.
#include <gtest/gtest.h>

#include <cstdlib>

#include "pst/ndb_test_reader.h"
#include "pst/ndb_test_util.h"
#include "pst/prop_tags.h"
#include "pst/pst_writer.h"

namespace pst {
namespace {

using testing::NdbTestReader;
using testing::Pattern;
using testing::ScratchDir;

TEST(NodeDatabaseFullStore, StoreWithLargeAttachmentIsSound) {
  ScratchDir dir;
  const std::string path = dir.File("store.pst");
  {
    WriterOptions o;
    o.deterministic = true;
    auto w = PstWriter::Create(path, "Store", o);
    const Nid folder = w->CreateFolder(w->IpmSubtree(), "Inbox");
    for (int i = 0; i < 40; ++i) {
      Message m;
      m.props.Set(tags::kMessageClass, std::string("IPM.Note"));
      m.props.Set(tags::kSubject, "Message " + std::to_string(i));
      m.props.Set(tags::kBody, std::string(static_cast<size_t>(100 + i * 500), 'x'));
      if (i == 7) {
        // 34 MB: past the 128 sections the header's own free map covers.
        Attachment a;
        a.props.Set(tags::kAttachLongFilename, std::string("big.bin"));
        a.data = std::make_shared<MemorySource>(Pattern(34u << 20, 5));
        m.attachments.push_back(std::move(a));
      }
      w->AddMessage(folder, m);
      if (i % 10 == 9) w->Commit();
    }
    w->Close();
  }
  NdbTestReader r(NdbTestReader::Slurp(path));
  r.CheckMaps();
  EXPECT_TRUE(r.faults().empty()) << r.FaultText();
  EXPECT_GT(r.ibFileEof, 0x4400u + 129u * 253952u);
  if (const char* keep = std::getenv("VERDALINE_KEEP_PST"))
    std::filesystem::copy_file(path, keep, std::filesystem::copy_options::overwrite_existing);
}

}  // namespace
}  // namespace pst
