// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/open_mapi_folder.h"

namespace verdaline {

std::unique_ptr<mailclient::Folder> OpenMAPIFolder(const QString& szPath, mapi::Profile& profile) {
  std::unique_ptr<mailclient::Folder> current;
  auto application = mailclient::CreateApplication(profile);
  QString rest = szPath;
  if (rest.startsWith(u'\\')) {
    rest.remove(0, 1);
  } else {
    current = application->ActiveExplorer()->CurrentFolder();
  }
  std::unique_ptr<mailclient::NameSpace> nameSpace;
  while (!rest.isEmpty()) {
    const qsizetype sep = rest.indexOf(u'\\');
    QString component;
    if (sep >= 0) {
      component = rest.left(sep);
      rest = rest.mid(sep + 1);
    } else {
      component = rest;
      rest.clear();
    }
    const std::string name = component.toStdString();
    if (!current) {
      nameSpace = application->GetNamespace("MAPI");
      current = nameSpace->Folders().Item(name);
    } else {
      current = current->Folders().Item(name);
    }
  }
  return current;
}

}  // namespace verdaline
