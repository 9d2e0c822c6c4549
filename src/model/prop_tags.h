// SPDX-License-Identifier: GPL-3.0-or-later
// Property tags used by more than one layer ([MS-OXPROPS]). A layer that needs
// a tag nobody else uses may keep it to itself; shared ones belong here.
#pragma once

#include <cstdint>

#include "model/message.h"

namespace model::tags {

#define VERDALINE_TAG(name, id, type) inline constexpr uint32_t name = MakeTag(id, PropType::type)

// Message envelope
VERDALINE_TAG(kMessageClass, 0x001A, Unicode);
VERDALINE_TAG(kSubject, 0x0037, Unicode);
VERDALINE_TAG(kSubjectPrefix, 0x003D, Unicode);
VERDALINE_TAG(kNormalizedSubject, 0x0E1D, Unicode);
VERDALINE_TAG(kConversationTopic, 0x0070, Unicode);
VERDALINE_TAG(kConversationIndex, 0x0071, Binary);
VERDALINE_TAG(kImportance, 0x0017, Int32);
VERDALINE_TAG(kPriority, 0x0026, Int32);
VERDALINE_TAG(kSensitivity, 0x0036, Int32);
VERDALINE_TAG(kClientSubmitTime, 0x0039, Time);
VERDALINE_TAG(kMessageDeliveryTime, 0x0E06, Time);
VERDALINE_TAG(kCreationTime, 0x3007, Time);
VERDALINE_TAG(kLastModificationTime, 0x3008, Time);
VERDALINE_TAG(kMessageFlags, 0x0E07, Int32);
// A message's state as a mail client marks it ([MS-OXOFLAG], [MS-OXOMSG])
VERDALINE_TAG(kFlagStatus, 0x1090, Int32);
VERDALINE_TAG(kFollowupIcon, 0x1095, Int32);
VERDALINE_TAG(kToDoItemFlags, 0x0E2B, Int32);
VERDALINE_TAG(kLastVerbExecuted, 0x1081, Int32);
VERDALINE_TAG(kIconIndex, 0x1080, Int32);
VERDALINE_TAG(kMessageSize, 0x0E08, Int32);
VERDALINE_TAG(kHasAttachments, 0x0E1B, Boolean);
VERDALINE_TAG(kInternetCodepage, 0x3FDE, Int32);
VERDALINE_TAG(kMessageCodepage, 0x3FFD, Int32);
VERDALINE_TAG(kTransportMessageHeaders, 0x007D, Unicode);
VERDALINE_TAG(kInternetMessageId, 0x1035, Unicode);
VERDALINE_TAG(kInReplyToId, 0x1042, Unicode);
VERDALINE_TAG(kInternetReferences, 0x1039, Unicode);
VERDALINE_TAG(kReplyRecipientNames, 0x0050, Unicode);
VERDALINE_TAG(kReplyRecipientEntries, 0x004F, Binary);
VERDALINE_TAG(kDisplayTo, 0x0E04, Unicode);
VERDALINE_TAG(kDisplayCc, 0x0E03, Unicode);
VERDALINE_TAG(kDisplayBcc, 0x0E02, Unicode);
VERDALINE_TAG(kSearchKey, 0x300B, Binary);

// Sender and sent-representing
VERDALINE_TAG(kSenderName, 0x0C1A, Unicode);
VERDALINE_TAG(kSenderEmailAddress, 0x0C1F, Unicode);
VERDALINE_TAG(kSenderAddressType, 0x0C1E, Unicode);
VERDALINE_TAG(kSenderEntryId, 0x0C19, Binary);
VERDALINE_TAG(kSenderSearchKey, 0x0C1D, Binary);
VERDALINE_TAG(kSenderSmtpAddress, 0x5D01, Unicode);
VERDALINE_TAG(kSentRepresentingName, 0x0042, Unicode);
VERDALINE_TAG(kSentRepresentingEmailAddress, 0x0065, Unicode);
VERDALINE_TAG(kSentRepresentingAddressType, 0x0064, Unicode);
VERDALINE_TAG(kSentRepresentingEntryId, 0x0041, Binary);
VERDALINE_TAG(kSentRepresentingSearchKey, 0x003B, Binary);
VERDALINE_TAG(kSentRepresentingSmtpAddress, 0x5D02, Unicode);

// Bodies
VERDALINE_TAG(kBody, 0x1000, Unicode);
VERDALINE_TAG(kHtml, 0x1013, Binary);  // PidTagHtml (PidTagBodyHtml as binary)
VERDALINE_TAG(kRtfCompressed, 0x1009, Binary);
VERDALINE_TAG(kNativeBody, 0x1016, Int32);

// Recipients
VERDALINE_TAG(kRecipientType, 0x0C15, Int32);
VERDALINE_TAG(kDisplayName, 0x3001, Unicode);
VERDALINE_TAG(kAddressType, 0x3002, Unicode);
VERDALINE_TAG(kEmailAddress, 0x3003, Unicode);
VERDALINE_TAG(kEntryId, 0x0FFF, Binary);
VERDALINE_TAG(kSmtpAddress, 0x39FE, Unicode);
VERDALINE_TAG(kRecipientDisplayName, 0x5FF6, Unicode);
VERDALINE_TAG(kObjectType, 0x0FFE, Int32);
VERDALINE_TAG(kDisplayType, 0x3900, Int32);
VERDALINE_TAG(kRecordKey, 0x0FF9, Binary);
VERDALINE_TAG(kRowid, 0x3000, Int32);

// Attachments
VERDALINE_TAG(kAttachMethod, 0x3705, Int32);
VERDALINE_TAG(kAttachSize, 0x0E20, Int32);
VERDALINE_TAG(kAttachNumber, 0x0E21, Int32);
VERDALINE_TAG(kAttachFilename, 0x3704, Unicode);
VERDALINE_TAG(kAttachLongFilename, 0x3707, Unicode);
VERDALINE_TAG(kAttachExtension, 0x3703, Unicode);
VERDALINE_TAG(kAttachMimeTag, 0x370E, Unicode);
VERDALINE_TAG(kAttachContentId, 0x3712, Unicode);
VERDALINE_TAG(kAttachContentLocation, 0x3713, Unicode);
VERDALINE_TAG(kAttachFlags, 0x3714, Int32);
VERDALINE_TAG(kAttachmentHidden, 0x7FFE, Boolean);
VERDALINE_TAG(kAttachDataBinary, 0x3701, Binary);
VERDALINE_TAG(kAttachDataObject, 0x3701, Binary);  // PtypObject on disk for embedded messages
VERDALINE_TAG(kRenderingPosition, 0x370B, Int32);
VERDALINE_TAG(kAttachEncoding, 0x3702, Binary);

// Folders
VERDALINE_TAG(kContentCount, 0x3602, Int32);
VERDALINE_TAG(kContentUnreadCount, 0x3603, Int32);
VERDALINE_TAG(kSubfolders, 0x360A, Boolean);
VERDALINE_TAG(kContainerClass, 0x3613, Unicode);

#undef VERDALINE_TAG

// Property sets of named properties ([MS-OXPROPS] 1.3.2), in on-disk byte order.
inline constexpr Guid kPsMapi = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr Guid kPsPublicStrings = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr Guid kPsetidCommon = {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                       0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// {00062002-0000-0000-C000-000000000046} and {6ED8DA90-450B-101B-98DA-00AA003F1305}
inline constexpr Guid kPsetidAppointment = {0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                            0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr Guid kPsetidMeeting = {0x90, 0xDA, 0xD8, 0x6E, 0x0B, 0x45, 0x1B, 0x10,
                                        0x98, 0xDA, 0x00, 0xAA, 0x00, 0x3F, 0x13, 0x05};

// Values
inline constexpr int32_t kMsgFlagRead = 0x01;
inline constexpr int32_t kMsgFlagUnsent = 0x08;
inline constexpr int32_t kMsgFlagHasAttach = 0x10;
inline constexpr int32_t kFollowupFlagged = 2, kFollowupIconRed = 6, kToDoItemFlagged = 1;
inline constexpr int32_t kVerbReplyToSender = 102, kVerbForward = 104;
inline constexpr int32_t kIconMailReplied = 0x105, kIconMailForwarded = 0x106;
inline constexpr uint32_t kLidFlagRequest = 0x8530;  // PidLidFlagRequest, in PSETID_Common
inline constexpr int32_t kRecipTo = 1, kRecipCc = 2, kRecipBcc = 3;
inline constexpr int32_t kAttachByValue = 1, kAttachEmbeddedMsg = 5;

}  // namespace model::tags
