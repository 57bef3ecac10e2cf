#include "gui/HelpLinks.h"

#include <QDesktopServices>
#include <QUrl>
#include <utility>

#include "gui/QtText.h"

namespace sonavir {

namespace {
std::string Page(const std::string& path) { return SiteRootUrl() + "/" + path; }

std::function<void(const std::string&)>& AddressOpener()
{
    static std::function<void(const std::string&)> opener;
    return opener;
}
}  // namespace

std::string VersionText()
{
    return "Версия 2.06 (build " + std::to_string(kBuildNumber) + ")";
}

std::string UpdateCheckUrl()
{
    return Page("software.htm?name=korvena&update=1&build=" + std::to_string(kBuildNumber));
}

std::string ModelDescriptionUrl() { return Page("hydroacoustic-model.htm"); }
std::string AllProgramsUrl() { return Page("software.htm"); }
std::string SiteRootUrl() { return std::string("http://") + kMakerHost; }
std::string SupportUrl() { return Page("support/"); }
std::string MailUrl() { return std::string("mailto: ") + kMakerEmail; }

void OpenAddress(const std::string& address)
{
    if (AddressOpener()) {
        AddressOpener()(address);
        return;
    }
    QDesktopServices::openUrl(QUrl(Q(address), QUrl::TolerantMode));
}

void SetAddressOpener(std::function<void(const std::string&)> opener)
{
    AddressOpener() = std::move(opener);
}

}  // namespace sonavir
