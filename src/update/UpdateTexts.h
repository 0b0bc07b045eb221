// The texts the update manager shows: short status lines (statusMessage) and the longer texts
// of updateError, in English and Serbian; the manager hands out the interface language's.
// Log lines stay English.
#pragma once

#include "common/LocalisedText.h"

namespace UpdateTexts {

inline const LocalisedText kStatusChecking{QStringLiteral("Checking the server for updates..."),
                                           QStringLiteral("Proveravam ažuriranja sa servera...")};
inline const LocalisedText kStatusInvalidUrl{QStringLiteral("Invalid update server address."),
                                             QStringLiteral("Neispravan URL servera za ažuriranje.")};
inline const LocalisedText kStatusCheckFailed{QStringLiteral("Check failed: "), QStringLiteral("Greška pri proveri: ")};
inline const LocalisedText kErrorCheckFailed{QStringLiteral("Cannot reach the update server: "),
                                             QStringLiteral("Nije moguće kontaktirati update server: ")};
inline const LocalisedText kStatusBadFormat{QStringLiteral("Invalid version format on the server."),
                                            QStringLiteral("Neispravan format verzije na serveru.")};
inline const LocalisedText kErrorBadFormat{QStringLiteral("Invalid manifest file format on the server."),
                                           QStringLiteral("Neispravan format manifest fajla na serveru.")};
inline const LocalisedText kStatusMissingFields{QStringLiteral("The manifest file has no version or download link."),
                                                QStringLiteral("Manifest fajl ne sadrži verziju ili download link.")};
inline const LocalisedText kErrorMissingFields{QStringLiteral("The manifest file lacks what an update needs."),
                                               QStringLiteral("Manifest fajl ne sadrži potrebne podatke za ažuriranje.")};
inline const LocalisedText kStatusAvailable{QStringLiteral("A new version is available: v"),
                                            QStringLiteral("Dostupna je nova verzija: v")};
// %1: the current version.
inline const LocalisedText kStatusUpToDate{QStringLiteral("The program is up to date (v%1)"),
                                           QStringLiteral("Program je ažuriran (v%1)")};
inline const LocalisedText kStatusCannotCreate{QStringLiteral("Error: cannot create the temporary installation file."),
                                               QStringLiteral("Greška: Nije moguće kreirati privremeni fajl za instalaciju.")};
inline const LocalisedText kErrorCannotCreate{QStringLiteral("Cannot create the temporary installation file."),
                                              QStringLiteral("Nije moguće kreirati privremeni instalacioni fajl.")};
inline const LocalisedText kStatusDownloading{QStringLiteral("Downloading the update..."),
                                              QStringLiteral("Preuzimanje ažuriranja...")};
inline const LocalisedText kStatusDownloadFailed{QStringLiteral("Download failed: "), QStringLiteral("Preuzimanje neuspešno: ")};
inline const LocalisedText kErrorDownloadFailed{QStringLiteral("Downloading the installation package failed: "),
                                                QStringLiteral("Preuzimanje instalacionog paketa nije uspelo: ")};
inline const LocalisedText kStatusShaMismatch{QStringLiteral("Error: the SHA-256 checksum does not match!"),
                                              QStringLiteral("Greška: SHA-256 kontrolna suma se ne poklapa!")};
inline const LocalisedText kErrorShaMismatch{
    QStringLiteral("The installation file is damaged (its SHA-256 does not match the server's). "
                   "The download was stopped for safety."),
    QStringLiteral("Integritet instalacionog fajla je narušen (SHA-256 se ne poklapa sa serverom). "
                   "Preuzimanje je obustavljeno radi bezbednosti.")};
inline const LocalisedText kStatusUnreadable{
    QStringLiteral("Error: the installation file cannot be read to verify it."),
    QStringLiteral("Greška: Instalacioni fajl nije moguće pročitati radi provere.")};
inline const LocalisedText kErrorUnreadable{
    QStringLiteral("The downloaded installation file cannot be read for its SHA-256 check. "
                   "The download was stopped for safety."),
    QStringLiteral("Preuzeti instalacioni fajl nije moguće pročitati radi SHA-256 provere. "
                   "Preuzimanje je obustavljeno radi bezbednosti.")};
inline const LocalisedText kStatusUnverifiable{
    QStringLiteral("Error: the installation file cannot be verified (no SHA-256 over HTTPS, the connection is not HTTPS)."),
    QStringLiteral("Greška: Instalacioni fajl nije moguće proveriti (nema SHA-256 preko HTTPS, veza nije HTTPS).")};
inline const LocalisedText kErrorUnverifiable{
    QStringLiteral("The server published no SHA-256 checksum over HTTPS, and the manifest or the installation file "
                   "did not come over HTTPS. The download was stopped for safety."),
    QStringLiteral("Server nije objavio SHA-256 kontrolnu sumu preko HTTPS veze, a manifest ili instalacioni fajl "
                   "nije preuzet preko HTTPS veze. Preuzimanje je obustavljeno radi bezbednosti.")};
inline const LocalisedText kStatusReady{QStringLiteral("Download complete! Ready to install."),
                                        QStringLiteral("Preuzimanje završeno! Spreman za instalaciju.")};
// A Debian package is installed by its user, never by this program. %1: the command.
inline const LocalisedText kStatusPackageReady{
    QStringLiteral("Package downloaded and verified. Install it in a terminal: %1"),
    QStringLiteral("Paket je preuzet i proveren. Instalirajte ga u terminalu: %1")};
inline const LocalisedText kStatusCancelled{QStringLiteral("Download cancelled."), QStringLiteral("Preuzimanje otkazano.")};
inline const LocalisedText kStatusNotFound{QStringLiteral("Installation file not found."),
                                           QStringLiteral("Instalacioni fajl nije pronađen.")};
inline const LocalisedText kErrorNotFound{QStringLiteral("The installation file was not found on this computer."),
                                          QStringLiteral("Instalacioni fajl nije pronađen na računaru.")};
inline const LocalisedText kStatusChanged{QStringLiteral("Error: the installation file changed after it was verified."),
                                          QStringLiteral("Greška: Instalacioni fajl je izmenjen nakon provere.")};
inline const LocalisedText kErrorChanged{
    QStringLiteral("The installation file changed after it was verified and will not be used. Download the update again."),
    QStringLiteral("Instalacioni fajl je izmenjen nakon provere i neće biti pokrenut. Preuzmite ažuriranje ponovo.")};
inline const LocalisedText kStatusLaunchFailed{QStringLiteral("Could not start the installer."),
                                               QStringLiteral("Neuspešno pokretanje instalera.")};
inline const LocalisedText kErrorLaunchFailed{QStringLiteral("The installation program cannot be started."),
                                              QStringLiteral("Nije moguće pokrenuti instalacioni program.")};

// Error texts of our own, where this class ends a transfer rather than the network layer.
inline const LocalisedText kRedirectRefused{QStringLiteral("Refused a redirect from HTTPS to an HTTP address."),
                                            QStringLiteral("Odbijeno preusmerenje sa HTTPS na HTTP adresu.")};
inline const LocalisedText kTimedOut{QStringLiteral("The server does not answer (timed out)."),
                                     QStringLiteral("Server ne odgovara (isteklo je vreme čekanja).")};
inline const LocalisedText kManifestTooLarge{QStringLiteral("The manifest is larger than allowed."),
                                             QStringLiteral("Manifest je veći od dozvoljenog.")};

} // namespace UpdateTexts
