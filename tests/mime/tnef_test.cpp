// SPDX-License-Identifier: GPL-3.0-or-later
// winmail.dat (application/ms-tnef) parts: their attachments, embedded
// messages and message properties on the imported message, and TNEF that
// cannot be read kept as the file it was. The streams are written here
// from [MS-OXTNEF] itself: attribute levels, ids and checksums, property
// lists with their padding and named properties.
#include <glib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "import_helpers.h"
#include "model/coding.h"

namespace {

using namespace mime_test;
namespace tags = model::tags;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kMsg = 0x01, kAtt = 0x02;

Bytes Text8(const std::string& s) {
  Bytes b(s.begin(), s.end());
  b.push_back(0);
  return b;
}

Bytes Date(int y, int mo, int d, int h, int mi, int s) {
  Bytes b;
  for (int v : {y, mo, d, h, mi, s, 3}) model::PutU16(b, static_cast<uint16_t>(v));
  return b;
}

Bytes U32s(std::initializer_list<uint32_t> values) {
  Bytes b;
  for (uint32_t v : values) model::PutU32(b, v);
  return b;
}

// A TNEF stream: signature, legacy key, then attributes with their checksums.
struct Tnef {
  Bytes bytes = U32s({0x223E9F78});
  Tnef() { model::PutU16(bytes, 0x0001); }
  Tnef& Attr(uint8_t level, uint32_t id, const Bytes& data) {
    model::PutU8(bytes, level);
    model::PutU32(bytes, id);
    model::PutU32(bytes, static_cast<uint32_t>(data.size()));
    model::PutBytes(bytes, data);
    uint16_t sum = 0;
    for (uint8_t c : data) sum = static_cast<uint16_t>(sum + c);
    model::PutU16(bytes, sum);
    return *this;
  }
};

// A property list as attMsgProps and attAttachment carry it.
struct Props {
  uint32_t count = 0;
  Bytes body;
  Props& Tag(uint16_t type, uint16_t id) {
    ++count;
    model::PutU16(body, type);
    model::PutU16(body, id);
    return *this;
  }
  void Counted(const Bytes& v) {
    model::PutU32(body, static_cast<uint32_t>(v.size()));
    model::PutBytes(body, v);
    body.resize(body.size() + (4 - v.size() % 4) % 4);
  }
  Props& Int32(uint16_t id, int32_t v) {
    Tag(0x0003, id);
    model::PutU32(body, static_cast<uint32_t>(v));
    return *this;
  }
  Props& Var(uint16_t type, uint16_t id, const Bytes& v) {
    Tag(type, id);
    model::PutU32(body, 1);
    Counted(v);
    return *this;
  }
  static Bytes Utf16(const std::string& s) {
    Bytes b = model::Utf16LeFromUtf8(s);
    b.insert(b.end(), {0, 0});
    return b;
  }
  Props& Unicode(uint16_t id, const std::string& s) { return Var(0x001F, id, Utf16(s)); }
  Props& String8(uint16_t id, const std::string& s) { return Var(0x001E, id, Text8(s)); }
  Props& Binary(uint16_t id, const Bytes& b) { return Var(0x0102, id, b); }
  Props& Message(uint16_t id, const Bytes& tnef) {
    Bytes v = {0x07, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};  // IID_IMessage
    model::PutBytes(v, tnef);
    return Var(0x000D, id, v);
  }
  Props& NamedLidUnicode(const model::Guid& set, uint32_t lid, const std::string& s) {
    Tag(0x001F, 0x8000);
    model::PutBytes(body, set);
    model::PutU32(body, 0);
    model::PutU32(body, lid);
    model::PutU32(body, 1);
    Counted(Utf16(s));
    return *this;
  }
  Props& NamedStringInt32(const model::Guid& set, const std::string& name, int32_t v) {
    Tag(0x0003, 0x8001);
    model::PutBytes(body, set);
    model::PutU32(body, 1);
    Counted(Utf16(name));
    model::PutU32(body, static_cast<uint32_t>(v));
    return *this;
  }
  Bytes Encoded() const {
    Bytes b = U32s({count});
    model::PutBytes(b, body);
    return b;
  }
};

const Bytes kRtf = {'Q', 0, 0, 0, 'L', 'Z', 'F', 'u', 0xC1, 0x27, 0x09, 0x5A, 0x03, 0x00, 0x0A, 0x00};
const std::string kPdf = "%PDF-1.4\n";

// A message as its own TNEF stream, nested `depth` more levels below it.
Bytes NestedMessage(int depth) {
  Tnef t;
  t.Attr(kMsg, 0x00078008, Text8("IPM.Microsoft Mail.Note"))
      .Attr(kMsg, 0x00018004, Text8("Inner subject " + std::to_string(depth)))
      .Attr(kMsg, 0x00069003, Props().Unicode(0x1000, "inner body").Encoded())
      .Attr(kAtt, 0x00069002, Bytes(14, 0))
      .Attr(kAtt, 0x00018010, Text8("inner.txt"))
      .Attr(kAtt, 0x0006800F, Text8("inner file"));
  if (depth > 0) {
    t.Attr(kAtt, 0x00069002, Bytes(14, 0))
        .Attr(kAtt, 0x00069005, Props().Int32(0x3705, 5).Message(0x3701, NestedMessage(depth - 1)).Encoded());
  }
  return t.bytes;
}

// What Outlook sends: message attributes, a file with legacy attributes
// only, one with an attAttachment block over its legacy ones, an embedded
// message, and a file attached by reference.
Bytes Winmail(const std::string& messageClass = "IPM.Microsoft Mail.Note") {
  const Props messageProps = Props()
                                 .Binary(0x1009, kRtf)
                                 .Unicode(0x0037, "TNEF subject")
                                 .Unicode(0x0C1A, "Someone Else")
                                 .String8(0x3FF8, "Andr\xE9")
                                 .Int32(0x0E08, 123456)
                                 .NamedLidUnicode(tags::kPsetidCommon, 0x8554, "16.0")
                                 .NamedStringInt32(tags::kPsPublicStrings, "x-custom", 42);
  return Tnef()
      .Attr(kMsg, 0x00089006, U32s({0x00010000}))
      .Attr(kMsg, 0x00069007, U32s({1252, 0}))
      .Attr(kMsg, 0x00078008, Text8(messageClass))
      .Attr(kMsg, 0x00018004, Text8("TNEF subject"))
      .Attr(kMsg, 0x00069003, messageProps.Encoded())
      .Attr(kAtt, 0x00069002, Bytes(14, 0))
      .Attr(kAtt, 0x00018010, Text8("notes.txt"))
      .Attr(kAtt, 0x00038013, Date(2020, 5, 6, 7, 8, 9))
      .Attr(kAtt, 0x0006800F, Bytes{'p', 'l', 'a', 'i', 'n', ' ', 'n', 'o', 't', 'e', 's'})
      .Attr(kAtt, 0x00069002, Bytes(14, 0))
      .Attr(kAtt, 0x00018010, Text8("QUARTE~1.PDF"))
      .Attr(kAtt, 0x0006800F, Bytes(kPdf.begin(), kPdf.end()))
      .Attr(kAtt, 0x00069005,
            Props()
                .Int32(0x3705, 1)
                .Unicode(0x3707, "Quarterly Report.pdf")
                .String8(0x370E, "application/pdf")
                .String8(0x3712, "rep@x")
                .Encoded())
      .Attr(kAtt, 0x00069002, Bytes(14, 0))
      .Attr(kAtt, 0x00069005,
            Props().Int32(0x3705, 5).Unicode(0x3001, "Forwarded").Message(0x3701, NestedMessage(0)).Encoded())
      .Attr(kAtt, 0x00069002, Bytes(14, 0))
      .Attr(kAtt, 0x00069005, Props().Int32(0x3705, 2).Unicode(0x3707, "plan.doc").Encoded())
      .bytes;
}

std::string WithTnef(const Bytes& tnef) {
  gchar* b64 = g_base64_encode(tnef.data(), tnef.size());
  std::string encoded(b64);
  g_free(b64);
  return "From: Ann <ann@example.com>\r\nTo: bob@example.com\r\nSubject: MIME subject\r\n"
         "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"B\"\r\n\r\n"
         "--B\r\nContent-Type: text/plain\r\n\r\nplain text\r\n"
         "--B\r\nContent-Type: application/ms-tnef; name=\"winmail.dat\"\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\n" +
         encoded + "\r\n--B--\r\n";
}

std::string AllWarnings(const model::Message& m) {
  std::string all;
  for (const auto& w : m.warnings) all += w + "\n";
  return all;
}

TEST(TnefTest, AttachmentsFromLegacyAttributesPropertyBlocksAndEmbeddedMessages) {
  const auto m = Import(WithTnef(Winmail()));
  EXPECT_EQ(AllWarnings(m), "");
  ASSERT_EQ(m.attachments.size(), 4u);

  const auto& notes = m.attachments[0];
  EXPECT_EQ(Str(notes.props, tags::kAttachLongFilename), "notes.txt");
  EXPECT_EQ(Int(notes.props, tags::kAttachMethod), 1);
  EXPECT_EQ(Data(notes), "plain notes");
  EXPECT_EQ(Int(notes.props, tags::kLastModificationTime), model::FileTimeFromUnix(1588748889));

  const auto& pdf = m.attachments[1];
  EXPECT_EQ(Str(pdf.props, tags::kAttachLongFilename), "Quarterly Report.pdf");
  EXPECT_EQ(Str(pdf.props, tags::kAttachFilename), "QUARTE~1.PDF");
  EXPECT_EQ(Str(pdf.props, tags::kAttachExtension), ".pdf");
  EXPECT_EQ(Str(pdf.props, tags::kAttachMimeTag), "application/pdf");
  EXPECT_EQ(Str(pdf.props, tags::kAttachContentId), "rep@x");
  EXPECT_EQ(Int(pdf.props, tags::kAttachSize), static_cast<int64_t>(kPdf.size()));
  EXPECT_EQ(Data(pdf), kPdf);

  const auto& fwd = m.attachments[2];
  EXPECT_EQ(Int(fwd.props, tags::kAttachMethod), 5);
  EXPECT_EQ(Str(fwd.props, tags::kDisplayName), "Forwarded");
  ASSERT_TRUE(fwd.embedded);
  EXPECT_FALSE(fwd.data);
  EXPECT_EQ(Str(fwd.embedded->props, tags::kSubject), "Inner subject 0");
  EXPECT_EQ(Str(fwd.embedded->props, tags::kMessageClass), "IPM.Note");
  EXPECT_EQ(Str(fwd.embedded->props, tags::kBody), "inner body");
  ASSERT_EQ(fwd.embedded->attachments.size(), 1u);
  EXPECT_EQ(Data(fwd.embedded->attachments[0]), std::string("inner file", 11));

  const auto& byReference = m.attachments[3];
  EXPECT_EQ(Int(byReference.props, tags::kAttachMethod), 2);
  EXPECT_EQ(Str(byReference.props, tags::kAttachLongFilename), "plan.doc");
  EXPECT_FALSE(byReference.data);

  EXPECT_EQ(Int(m.props, tags::kMessageFlags).value_or(0) & tags::kMsgFlagHasAttach,
            tags::kMsgFlagHasAttach);
}

TEST(TnefTest, MessagePropertiesFillInWhatMimeLeftAndKeepTheRtfBody) {
  const auto m = Import(WithTnef(Winmail("IPM.Microsoft Schedule.MtgReq")));
  // The header's subject and sender stand; the plain body stays, the
  // compressed RTF is stored as it came and becomes the native body.
  EXPECT_EQ(Str(m.props, tags::kSubject), "MIME subject");
  EXPECT_EQ(Str(m.props, tags::kSenderName), "Ann");
  EXPECT_EQ(Str(m.props, tags::kBody), "plain text");
  EXPECT_EQ(BinAsString(m.props, tags::kRtfCompressed), std::string(kRtf.begin(), kRtf.end()));
  EXPECT_EQ(Int(m.props, tags::kNativeBody), 2);
  // What only TNEF says: the class of a meeting request in its modern
  // name, 8-bit text in the stream's code page, named properties.
  EXPECT_EQ(Str(m.props, tags::kMessageClass), "IPM.Schedule.Meeting.Request");
  EXPECT_EQ(m.props.GetString(0x3FF8).value_or(""), "Andr\xC3\xA9");
  const auto* version = m.props.FindNamed({tags::kPsetidCommon, 0x8554, ""});
  ASSERT_TRUE(version);
  EXPECT_EQ(std::get<std::string>(version->data), "16.0");
  const auto* custom = m.props.FindNamed({tags::kPsPublicStrings, std::nullopt, "x-custom"});
  ASSERT_TRUE(custom);
  EXPECT_EQ(std::get<int32_t>(custom->data), 42);
  // The sending store's own bookkeeping is not taken.
  EXPECT_FALSE(m.props.Find(0x0E08));
}

TEST(TnefTest, UnreadableTnefIsKeptAsTheFileItWasWithTheReason) {
  const Bytes good = Winmail();
  auto withProps = [](const Bytes& list) {
    return Tnef().Attr(kMsg, 0x00069003, list).bytes;
  };
  Bytes badChecksum = good;
  badChecksum[15] ^= 0x01;  // the first byte of attTnefVersion's data
  const struct {
    const char* what;
    Bytes tnef;
    const char* reason;
  } cases[] = {
      {"no signature", Bytes(good.begin() + 1, good.end()), "TNEF signature"},
      {"wrong checksum", badChecksum, "checksum is wrong"},
      {"cut inside an attribute", Bytes(good.begin(), good.end() - 5), "runs past its end"},
      {"absurd property count", withProps(U32s({0xFFFFFFFF, 0x00000003})), "counts 4294967295 properties"},
      {"absurd value count", withProps(U32s({1, 0x0037001F, 0x40000000})), "cut short"},
      {"unknown property type", withProps(U32s({1, 0x003700FE, 0})), "unknown type 0x00FE"},
      {"absurd recipient rows", Tnef().Attr(kMsg, 0x00069004, U32s({0x7FFFFFFF})).bytes,
       "counts 2147483647 rows"},
      {"bad embedded message", Tnef().Attr(kAtt, 0x00069005, Props().Int32(0x3705, 5).Message(0x3701, Bytes(8, 0x55)).Encoded()).bytes,
       "in an embedded message"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto m = Import(WithTnef(c.tnef));
    ASSERT_EQ(m.attachments.size(), 1u);
    EXPECT_EQ(Str(m.attachments[0].props, tags::kAttachLongFilename), "winmail.dat");
    EXPECT_EQ(Data(m.attachments[0]), std::string(c.tnef.begin(), c.tnef.end()));
    EXPECT_NE(AllWarnings(m).find("winmail.dat (TNEF) part could not be decoded"), std::string::npos)
        << AllWarnings(m);
    EXPECT_NE(AllWarnings(m).find(c.reason), std::string::npos) << AllWarnings(m);
    EXPECT_FALSE(m.props.Find(model::TagId(tags::kRtfCompressed)));
  }
  // Cut anywhere: either whole attributes remain and are read, or the part
  // is kept, never both and never neither.
  for (size_t n = 0; n < good.size(); n += 3) {
    SCOPED_TRACE(n);
    const auto m = Import(WithTnef(Bytes(good.begin(), good.begin() + static_cast<long>(n))));
    const bool kept = m.attachments.size() == 1 &&
                      Str(m.attachments[0].props, tags::kAttachLongFilename) == "winmail.dat";
    EXPECT_EQ(kept, AllWarnings(m).find("could not be decoded") != std::string::npos);
  }
}

TEST(TnefTest, EmbeddedMessagesBelowTheDepthLimitStayTnefFiles) {
  mime::ImportOptions options;
  options.maxEmbeddedDepth = 2;
  const auto m = Import(WithTnef(Tnef()
                                     .Attr(kAtt, 0x00069002, Bytes(14, 0))
                                     .Attr(kAtt, 0x00069005,
                                           Props().Int32(0x3705, 5).Message(0x3701, NestedMessage(5)).Encoded())
                                     .bytes),
                        nullptr, options);
  ASSERT_EQ(m.attachments.size(), 1u);
  const model::Message* depth1 = m.attachments[0].embedded.get();
  ASSERT_TRUE(depth1);
  ASSERT_EQ(depth1->attachments.size(), 2u);
  const model::Message* depth2 = depth1->attachments[1].embedded.get();
  ASSERT_TRUE(depth2);
  EXPECT_EQ(Str(depth2->props, tags::kSubject), "Inner subject 4");
  ASSERT_EQ(depth2->attachments.size(), 2u);
  const auto& kept = depth2->attachments[1];
  EXPECT_FALSE(kept.embedded);
  EXPECT_EQ(Str(kept.props, tags::kAttachLongFilename), "winmail.dat");
  EXPECT_EQ(Str(kept.props, tags::kAttachMimeTag), "application/ms-tnef");
  EXPECT_EQ(Data(kept).substr(0, 4), std::string("\x78\x9F\x3E\x22", 4));
  EXPECT_NE(AllWarnings(m).find("nested too deeply"), std::string::npos) << AllWarnings(m);
}

TEST(TnefTest, OutlookWinmailFromTheOpenCorpus) {
  const auto path = std::filesystem::path(VERDALINE_SOURCE_DIR) / ".." / "shared" / "corpus" /
                    "open" / "kdepim-tnef-two-files.eml";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "the open mail corpus is not at " << path;
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto m = Import(text);
  EXPECT_EQ(AllWarnings(m), "");
  ASSERT_EQ(m.attachments.size(), 2u);
  EXPECT_EQ(Str(m.attachments[0].props, tags::kAttachLongFilename), "AUTHORS");
  EXPECT_EQ(Str(m.attachments[1].props, tags::kAttachLongFilename), "README");
  EXPECT_EQ(Data(m.attachments[0]).size(), 244u);
  EXPECT_EQ(Data(m.attachments[1]).size(), 893u);
  EXPECT_NE(Data(m.attachments[0]).find("Authors of tnef"), std::string::npos);
  EXPECT_EQ(Str(m.props, tags::kSubject), "two file TNEF attachment");
}

}  // namespace
