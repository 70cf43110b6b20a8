// The results view's start of a site crawl: the full check of an http(s)
// address.
#include "engine/LinkwardView.h"

namespace linkward {

void CLinkwardView::StartCrawl(const std::string& url, const HttpCheckOptions& http,
                               std::unique_ptr<IRemoteChecker> remote, CSkipList skip) {
  m_files.clear();
  m_pSiteCrawl = std::make_unique<CSiteCrawl>(*m_pFullCheckHost, m_loop, url, m_crawlOptions,
                                              http, std::move(remote));
  m_pSiteCrawl->SetSkipList(std::move(skip));
  if (!m_pSiteCrawl->Start()) {
    std::string why = m_pSiteCrawl->Error();
    m_pSiteCrawl.reset();
    ResetRun(true);
    m_frame.MessageBox("The site cannot be crawled: " + why, BoxStyle::Ok);
  }
  m_frame.CommandStateChanged();
}

}  // namespace linkward
