// "About Linkward": the program's name, version, legal notice and two live
// links, to the maker's mail address and home page.
#pragma once

#include <QDialog>

namespace linkward {

class CLinkwardApp;
class CStaticLink;

constexpr const char* LINKWARD_MAIL_ADDRESS = "linkward-support@linkward.example.com";

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  CAboutDlg(CLinkwardApp& app, QWidget* parent = nullptr);

  CStaticLink* MailLink() const { return m_pMail; }
  CStaticLink* HomeLink() const { return m_pHome; }

 private:
  CStaticLink* m_pMail = nullptr;
  CStaticLink* m_pHome = nullptr;
};

}  // namespace linkward
