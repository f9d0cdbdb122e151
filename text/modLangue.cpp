#include "text/modLangue.h"

#include <array>

#include "platform/distribution.h"

namespace {

struct TextEntry {
    std::string_view english;
    std::string_view french;
};

constexpr std::int16_t kFirstId = 1;
constexpr std::int16_t kLastId = 38;

// Indexed by id; slot 0 stays empty so the id is the index. Blanks and backslashes at either end
// are kept because callers glue these texts to other strings.
constexpr std::array<TextEntry, kLastId + 1> kTexts{{
    {"", ""},
    /* 1 */ {"Show", "Afficher"},
    /* 2 */ {"Minimize", "Masquer"},
    /* 3 */ {"Create your Tavorin", "Créer votre Tavorin"},
    /* 4 */ {"Quit", "Quitter"},
    /* 5 */ {"Unistall", "Désinstaller"},
    /* 6 */ {"Config", "Configuration"},
    /* 7 */ {"Create", "Création"},
    /* 8 */ {"By your Pro version", "Acheter votre version Pro"},
    /* 9 */ {"Test", "Tester"},
    /* 10 */ {"Browse", "Chercher"},
    /* 11 */ {"Close", "Fermer"},
    /* 12 */ {"Create files list", "Créer la liste des fichiers"},
    /* 13 */ {"Create local Tavorin", "Créer cet Tavorin en local"},
    /* 14 */ {"Command your installation", "Commander votre installation"},
    /* 15 */ {"Prepar email with this data", "Préparer l'email avec ces données"},
    /* 16 */ {"Command your Pro version   (Pay)", "Commander votre version Pro (Paiement)"},
    /* 17 */
    {"Send your param and payment infos", "Envoyer les paramètres et références de paiement"},
    /* 18 */ {"url Web page", "url de votre page"},
    /* 19 */ {"Icon file", "Fichier Icône"},
    /* 20 */
    {"This config menu is only avalable in this Version. "
     "\n"
     "With an another name of application, this menu is not present in your Tavorin.",
     "Ce menu de configuration n'est accessible que dans cette version . "
     "\n"
     "En modifiant le nom de l'application, ce menu ne sera pas présent dans votre Tavorin."},
    /* 21 */
    {"Your Pro version is without advertising, this give you more place for your information "
     "(or your advertising)",
     "Votre version Pro sera sans publicité ce qui augmentera la place disponible pour vos infos "
     "(ou vos propres publicités)"},
    /* 22 */ {"Your local Tavorin", "Votre Tavorin local"},
    /* 23 */ {"Your Tavorin name", "Nom de votre Tavorin"},
    /* 24, 25: name where this system installs things (platform/distribution.h) */
    {"", ""},
    {"", ""},
    /* 26 */ {"Create files in", "Créer les fichiers dans"},
    /* 27 */
    {"We can prepare your installation file for only 35€, in this case, send us email after "
     "your payment with your data",
     "Nous pouvons vous préparer votre fichier d'installation pour seulement 35€, dans ce cas, "
     "adresser-nous un mail après votre paiement avec vos informations"},
    /* 28 */
    {"Show the files system you must add to an installation for distribute your Tavorin.",
     "Voir les fichiers systèmes à intégrer à votre installation pour distribuer votre Tavorin."},
    /* 29 */
    {"You can by your Pro Tavorin without advertising and obtain an installable file ready to "
     "download by your visitors."
     "\n"
     "Obtain your Tavorin Pro version for just 75€."
     "\n"
     "After we received yous payment and your data, we send you your Tavorin. If you have "
     "completed data at previous page, just do the 2 next step :",
     "Vous pouvez acheter votre Tavorin Pro sans publicité fournit dans un fichier "
     "téléchargeable avec installation automatique pour 75€. Après réception de votre paiement "
     "et de vos paramètres, nous vous ferons parvenir sous 48 heures votre Tavorin. Si vous "
     "avez compléter les infos des onglets précédents, veuillez simplement procéder aux 2 "
     "étapes suivantes :"},
    /* 30 */ {"Name of your application", "Nom de l'application"},
    /* 31 */ {"url of your webpage info", "Adresse de votre page d'info"},
    /* 32 */ {"Scan period", "Périodicité de scan"},
    /* 33 */ {"Icon (join at email)", "Fichier icône (joindre en annexe)"},
    /* 34 */ {"Payment infos", "Les références de votre paiement"},
    /* 35 */ {"Search for new data every ", "Regarder si un nouveau contenu toutes les "},
    /* 36 */ {" minutes", " minutes"},
    /* 37 */
    {"Your Tavorin is ready for test, launch now ?",
     "Votre Tavorin est prêt à être tester, démarrer maintenant ?"},
    /* 38 */
    {" exist, replace existing files ?", " existe, remplacer les fichiers existants ?"},
}};

}  // namespace

std::string LookupText(std::int16_t id, std::string_view languageCode) {
    const bool french = languageCode == "fr";
    if (!french && languageCode != "en") {
        return {};
    }
    if (id < kFirstId || id > kLastId) {
        return {};
    }
    if (id == 24 || id == 25) {
        const DistributionText text = id == 24 ? ProgramFilesText() : SystemPartsText();
        return std::string(french ? text.french : text.english);
    }
    const TextEntry& entry = kTexts[static_cast<std::size_t>(id)];
    return std::string(french ? entry.french : entry.english);
}
