// The texts the update manager shows: short status lines (statusMessage) and the longer
// texts of updateError. Serbian, as the interface shows them; log lines stay English.
#pragma once

#include <QString>

namespace UpdateTexts {

inline const QString kStatusChecking = QStringLiteral("Proveravam ažuriranja sa servera...");
inline const QString kStatusInvalidUrl = QStringLiteral("Neispravan URL servera za ažuriranje.");
inline const QString kStatusCheckFailed = QStringLiteral("Greška pri proveri: ");
inline const QString kErrorCheckFailed = QStringLiteral("Nije moguće kontaktirati update server: ");
inline const QString kStatusBadFormat = QStringLiteral("Neispravan format verzije na serveru.");
inline const QString kErrorBadFormat = QStringLiteral("Neispravan format manifest fajla na serveru.");
inline const QString kStatusMissingFields = QStringLiteral("Manifest fajl ne sadrži verziju ili download link.");
inline const QString kErrorMissingFields = QStringLiteral("Manifest fajl ne sadrži potrebne podatke za ažuriranje.");
inline const QString kStatusAvailable = QStringLiteral("Dostupna je nova verzija: v");
inline const QString kStatusUpToDate = QStringLiteral("Program je ažuriran (v%1)");
inline const QString kStatusCannotCreate = QStringLiteral("Greška: Nije moguće kreirati privremeni fajl za instalaciju.");
inline const QString kErrorCannotCreate = QStringLiteral("Nije moguće kreirati privremeni instalacioni fajl.");
inline const QString kStatusDownloading = QStringLiteral("Preuzimanje ažuriranja...");
inline const QString kStatusDownloadFailed = QStringLiteral("Preuzimanje neuspešno: ");
inline const QString kErrorDownloadFailed = QStringLiteral("Preuzimanje instalacionog paketa nije uspelo: ");
inline const QString kStatusShaMismatch = QStringLiteral("Greška: SHA-256 kontrolna suma se ne poklapa!");
inline const QString kErrorShaMismatch = QStringLiteral(
    "Integritet instalacionog fajla je narušen (SHA-256 se ne poklapa sa serverom). "
    "Preuzimanje je obustavljeno radi bezbednosti.");
inline const QString kStatusUnreadable = QStringLiteral("Greška: Instalacioni fajl nije moguće pročitati radi provere.");
inline const QString kErrorUnreadable = QStringLiteral(
    "Preuzeti instalacioni fajl nije moguće pročitati radi SHA-256 provere. "
    "Preuzimanje je obustavljeno radi bezbednosti.");
inline const QString kStatusUnverifiable = QStringLiteral("Greška: Instalacioni fajl nije moguće proveriti (nema SHA-256 preko HTTPS, veza nije HTTPS).");
inline const QString kErrorUnverifiable = QStringLiteral(
    "Server nije objavio SHA-256 kontrolnu sumu preko HTTPS veze, a manifest ili instalacioni fajl nije preuzet preko HTTPS veze. "
    "Preuzimanje je obustavljeno radi bezbednosti.");
inline const QString kStatusReady = QStringLiteral("Preuzimanje završeno! Spreman za instalaciju.");
inline const QString kStatusCancelled = QStringLiteral("Preuzimanje otkazano.");
inline const QString kStatusNotFound = QStringLiteral("Instalacioni fajl nije pronađen.");
inline const QString kErrorNotFound = QStringLiteral("Instalacioni fajl nije pronađen na računaru.");
inline const QString kStatusChanged = QStringLiteral("Greška: Instalacioni fajl je izmenjen nakon provere.");
inline const QString kErrorChanged = QStringLiteral(
    "Instalacioni fajl je izmenjen nakon provere i neće biti pokrenut. Preuzmite ažuriranje ponovo.");
inline const QString kStatusLaunchFailed = QStringLiteral("Neuspešno pokretanje instalera.");
inline const QString kErrorLaunchFailed = QStringLiteral("Nije moguće pokrenuti instalacioni program.");

// Error texts of our own, where this class ends a transfer rather than the network layer.
inline const QString kRedirectRefused = QStringLiteral("Odbijeno preusmerenje sa HTTPS na HTTP adresu.");
inline const QString kTimedOut = QStringLiteral("Server ne odgovara (isteklo je vreme čekanja).");
inline const QString kManifestTooLarge = QStringLiteral("Manifest je veći od dozvoljenog.");

} // namespace UpdateTexts
