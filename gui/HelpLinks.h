#pragma once
// The maker's data shown in the about window, the addresses the help menu
// opens (all pages live on one host) and the opening itself.

#include <functional>
#include <string>

namespace sonavir {

inline constexpr const char* kMakerHost = "sonavir.example.org";
inline constexpr const char* kMakerEmail = "support@sonavir.example.org";
inline constexpr const char* kAuthorLine = "Учебная лаборатория гидроакустики";
inline constexpr const char* kCreditLine = "Инф. поддержка: кафедра акустики";
inline constexpr const char* kYearsText = "2024–2026";
inline constexpr const char* kProgramTitle = "Сонавир";
inline constexpr int kBuildNumber = 242;

std::string VersionText();       // "Версия 2.06 (build 242)"
std::string UpdateCheckUrl();    // software.htm with name, update and build
std::string ModelDescriptionUrl();
std::string AllProgramsUrl();
std::string SiteRootUrl();       // the host alone, no trailing slash
std::string SupportUrl();
std::string MailUrl();           // "mailto: " and the address

// Hands a web or mail address to the desktop's browser or mail program and
// returns at once; a failure is not reported. Tests redirect it.
void OpenAddress(const std::string& address);
void SetAddressOpener(std::function<void(const std::string&)> opener);

}  // namespace sonavir
