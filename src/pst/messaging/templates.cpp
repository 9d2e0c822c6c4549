// SPDX-License-Identifier: GPL-3.0-or-later
#include "pst/messaging/templates.h"

namespace pst::messaging {

const std::vector<uint32_t>& HierarchyColumns() {
  static const std::vector<uint32_t> cols = {
      0x3001001F,  // PidTagDisplayName
      0x36020003,  // PidTagContentCount
      0x36030003,  // PidTagContentUnreadCount
      0x360A000B,  // PidTagSubfolders
      0x0E300102,  // PidTagReplItemid
      0x0E330014,  // PidTagReplChangenum
      0x0E340102,  // PidTagReplVersionHistory
      0x0E380003,  // PidTagReplFlags
      0x3613001F,  // PidTagContainerClass
      0x66350003,  // PidTagPstHiddenCount
      0x66360003,  // PidTagPstHiddenUnread
  };
  return cols;
}

const std::vector<uint32_t>& ContentsColumns() {
  static const std::vector<uint32_t> cols = {
      0x0E170003,  // PidTagMessageStatus
      0x001A001F,  // PidTagMessageClass
      0x0E070003,  // PidTagMessageFlags
      0x00170003,  // PidTagImportance
      0x0042001F,  // PidTagSentRepresentingName
      0x0037001F,  // PidTagSubject
      0x0E060040,  // PidTagMessageDeliveryTime
      0x00390040,  // PidTagClientSubmitTime
      0x0E080003,  // PidTagMessageSize
      0x0E04001F,  // PidTagDisplayTo
      0x0E03001F,  // PidTagDisplayCc
      0x0057000B,  // PidTagMessageToMe
      0x0058000B,  // PidTagMessageCcMe
      0x00360003,  // PidTagSensitivity
      0x10970003,  // PidTagItemTemporaryFlags
      0x0070001F,  // PidTagConversationTopic
      0x00710102,  // PidTagConversationIndex
      0x30130102,  // PidTagChangeKey (Outlook's template has it)
      0x65C60003,  // PidTagSecureSubmitFlags
      0x30080040,  // PidTagLastModificationTime
      0x0E300102,  // PidTagReplItemid
      0x0E330014,  // PidTagReplChangenum
      0x0E340102,  // PidTagReplVersionHistory
      0x0E3D0102,  // PidTagReplCopiedfromItemid
      0x0E3C0102,  // PidTagReplCopiedfromVersionhistory
      0x0E380003,  // PidTagReplFlags
  };
  return cols;
}

const std::vector<uint32_t>& AssocContentsColumns() {
  static const std::vector<uint32_t> cols = {
      0x0E170003,  // PidTagMessageStatus
      0x001A001F,  // PidTagMessageClass
      0x0E070003,  // PidTagMessageFlags
      0x3001001F,  // PidTagDisplayName
      0x70030003,  // PidTagViewDescriptorFlags
      0x70040102,  // PidTagViewDescriptorLinkTo
      0x70050102,  // PidTagViewDescriptorViewFolder
      0x7006001F,  // PidTagViewDescriptorName
      0x70070003,  // PidTagViewDescriptorVersion
      0x6800001F,  // PidTagOfflineAddressBookName
      0x6803000B,  // PidTagSendOutlookRecallReport
      0x68051003,  // PidTagOfflineAddressBookTruncatedProperties
      0x682F001F,  // (as in Outlook's own template)
  };
  return cols;
}

const std::vector<uint32_t>& SearchContentsColumns() {
  static const std::vector<uint32_t> cols = {
      0x67F10003,  // PidTagLtpParentNid
      0x0E05001F,  // PidTagParentDisplay
      0x0E170003,  // PidTagMessageStatus
      0x001A001F,  // PidTagMessageClass
      0x0E070003,  // PidTagMessageFlags
      0x00170003,  // PidTagImportance
      0x0042001F,  // PidTagSentRepresentingName
      0x0037001F,  // PidTagSubject
      0x0E060040,  // PidTagMessageDeliveryTime
      0x0E080003,  // PidTagMessageSize
      0x0E04001F,  // PidTagDisplayTo
      0x0E03001F,  // PidTagDisplayCc
      0x0057000B,  // PidTagMessageToMe
      0x0058000B,  // PidTagMessageCcMe
      0x00360003,  // PidTagSensitivity
      0x0E2A000B,  // PidTagHasNamedProperties
      0x30080040,  // PidTagLastModificationTime
  };
  return cols;
}

const std::vector<uint32_t>& RecipientColumns() {
  static const std::vector<uint32_t> cols = {
      0x0E0F000B,  // PidTagResponsibility
      0x3002001F,  // PidTagAddressType
      0x3003001F,  // PidTagEmailAddress
      0x0FFF0102,  // PidTagEntryId
      0x3001001F,  // PidTagDisplayName
      0x0C150003,  // PidTagRecipientType
      0x300B0102,  // PidTagSearchKey
      0x0FF90102,  // PidTagRecordKey
      0x0FFE0003,  // PidTagObjectType
      0x39000003,  // PidTagDisplayType
      0x3A40000B,  // PidTagSendRichInfo
      0x39FF001F,  // PidTag7BitDisplayName
  };
  return cols;
}

const std::vector<uint32_t>& AttachmentColumns() {
  static const std::vector<uint32_t> cols = {
      0x370B0003,  // PidTagRenderingPosition
      0x0E200003,  // PidTagAttachSize
      0x37050003,  // PidTagAttachMethod
      0x3704001F,  // PidTagAttachFilename
  };
  return cols;
}

const std::vector<uint32_t>& AttachmentTableColumns() {
  static const std::vector<uint32_t> cols = [] {
    std::vector<uint32_t> c = AttachmentColumns();
    c.insert(c.end(), {
                          0x370A0102,  // PidTagAttachTag
                          0x370D001F,  // PidTagAttachLongPathname
                          0x3708001F,  // PidTagAttachPathname
                          0x3707001F,  // PidTagAttachLongFilename
                          0x3703001F,  // PidTagAttachExtension
                          0x3001001F,  // PidTagDisplayName
                          0x370F0102,  // PidTagAttachAdditionalInformation
                          0x3711001F,  // PidTagAttachContentBase
                          0x3713001F,  // PidTagAttachContentLocation
                          0x3712001F,  // PidTagAttachContentId
                          0x370E001F,  // PidTagAttachMimeTag
                          0x69090003,  // (as in Outlook's own attachment tables)
                          0x7FFD0003,  // PidTagAttachmentFlags
                          0x7FFB0040,  // PidTagExceptionStartTime
                          0x7FFC0040,  // PidTagExceptionEndTime
                          0x7FFA0003,  // PidTagAttachmentLinkId
                          0x7FFE000B,  // PidTagAttachmentHidden
                          0x7FFF000B,  // PidTagAttachmentContactPhoto
                          0x7FF90040,  // PidTagExceptionReplaceTime
                          0x3719001F,  // PidTagAttachPayloadProviderGuidString
                          0x371A001F,  // PidTagAttachPayloadClass
                          0x37140003,  // PidTagAttachFlags
                      });
    return c;
  }();
  return cols;
}

}  // namespace pst::messaging
