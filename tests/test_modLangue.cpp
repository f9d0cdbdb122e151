#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths.h"
#include "text/modLangue.h"

namespace {

// Transcribed separately from the program's table, with escapes for every non-ASCII character,
// so a typo or a decomposed accent on either side shows up as a mismatch.
struct Expected {
    std::int16_t id;
    std::string english;
    std::string french;
};

const std::vector<Expected>& ExpectedTexts() {
    static const std::vector<Expected> rows = {
        {1, "Show", "Afficher"},
        {2, "Minimize", "Masquer"},
        {3, "Create your Tavorin", "Cr\u00e9er votre Tavorin"},
        {4, "Quit", "Quitter"},
        {5, "Unistall", "D\u00e9sinstaller"},
        {6, "Config", "Configuration"},
        {7, "Create", "Cr\u00e9ation"},
        {8, "By your Pro version", "Acheter votre version Pro"},
        {9, "Test", "Tester"},
        {10, "Browse", "Chercher"},
        {11, "Close", "Fermer"},
        {12, "Create files list", "Cr\u00e9er la liste des fichiers"},
        {13, "Create local Tavorin", "Cr\u00e9er cet Tavorin en local"},
        {14, "Command your installation", "Commander votre installation"},
        {15, "Prepar email with this data", "Pr\u00e9parer l'email avec ces donn\u00e9es"},
        {16, "Command your Pro version" + std::string(3, ' ') + "(Pay)",
         "Commander votre version Pro (Paiement)"},
        {17, "Send your param and payment infos",
         "Envoyer les param\u00e8tres et r\u00e9f\u00e9rences de paiement"},
        {18, "url Web page", "url de votre page"},
        {19, "Icon file", "Fichier Ic\u00f4ne"},
        {20,
         std::string("This config menu is only avalable in this Version. ") + '\n' +
             "With an another name of application, this menu is not present in your Tavorin.",
         std::string("Ce menu de configuration n'est accessible que dans cette version . ") + '\n' +
             "En modifiant le nom de l'application, ce menu ne sera pas pr\u00e9sent dans votre "
             "Tavorin."},
        {21,
         "Your Pro version is without advertising, this give you more place for your "
         "information (or your advertising)",
         "Votre version Pro sera sans publicit\u00e9 ce qui augmentera la place disponible pour "
         "vos infos (ou vos propres publicit\u00e9s)"},
        {22, "Your local Tavorin", "Votre Tavorin local"},
        {23, "Your Tavorin name", "Nom de votre Tavorin"},
#ifdef _WIN32
        {24, R"t(Program Files (Default install : C:\Program Files\)t",
         "Fichiers programmes (installation conseill\u00e9e dans "
         R"t(C:\Program Files\)t"},
        {25, R"t(Files system (Installation in : C:\Windows\System32))t",
         "Fichiers syst\u00e8mes (installation dans "
         R"t(C:\Windows\System32))t"},
#else
        {24, "Program Files (Default install : /opt/",
         "Fichiers programmes (installation conseill\u00e9e dans /opt/"},
        {25, "Packages needed (Debian)", "Paquets n\u00e9cessaires (Debian)"},
#endif
        {26, "Create files in", "Cr\u00e9er les fichiers dans"},
        {27,
         "We can prepare your installation file for only 35\u20ac, in this case, send us email "
         "after your payment with your data",
         "Nous pouvons vous pr\u00e9parer votre fichier d'installation pour seulement 35\u20ac, "
         "dans ce cas, adresser-nous un mail apr\u00e8s votre paiement avec vos informations"},
        {28, "Show the files system you must add to an installation for distribute your Tavorin.",
         "Voir les fichiers syst\u00e8mes \u00e0 int\u00e9grer \u00e0 votre installation pour "
         "distribuer votre Tavorin."},
        {29,
         std::string("You can by your Pro Tavorin without advertising and obtain an installable "
                     "file ready to download by your visitors.") +
             '\n' + "Obtain your Tavorin Pro version for just 75\u20ac." + '\n' +
             "After we received yous payment and your data, we send you your Tavorin. If you "
             "have completed data at previous page, just do the 2 next step :",
         "Vous pouvez acheter votre Tavorin Pro sans publicit\u00e9 fournit dans un fichier "
         "t\u00e9l\u00e9chargeable avec installation automatique pour 75\u20ac. "
         "Apr\u00e8s r\u00e9ception de votre paiement et de vos param\u00e8tres, nous vous "
         "ferons parvenir sous 48 heures votre Tavorin. Si vous avez compl\u00e9ter les infos "
         "des onglets pr\u00e9c\u00e9dents, veuillez simplement proc\u00e9der aux 2 "
         "\u00e9tapes suivantes :"},
        {30, "Name of your application", "Nom de l'application"},
        {31, "url of your webpage info", "Adresse de votre page d'info"},
        {32, "Scan period", "P\u00e9riodicit\u00e9 de scan"},
        {33, "Icon (join at email)", "Fichier ic\u00f4ne (joindre en annexe)"},
        {34, "Payment infos", "Les r\u00e9f\u00e9rences de votre paiement"},
        {35, "Search for new data every ", "Regarder si un nouveau contenu toutes les "},
        {36, " minutes", " minutes"},
        {37, "Your Tavorin is ready for test, launch now ?",
         "Votre Tavorin est pr\u00eat \u00e0 \u00eatre tester, d\u00e9marrer maintenant ?"},
        {38, " exist, replace existing files ?", " existe, remplacer les fichiers existants ?"},
    };
    return rows;
}

std::size_t CodePoints(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t lf = text.find('\n'); lf != std::string_view::npos;
         lf = text.find('\n', start)) {
        parts.push_back(text.substr(start, lf - start));
        start = lf + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

TEST(LookupTextTable, EveryIdMatchesBothColumns) {
    const auto& rows = ExpectedTexts();
    ASSERT_EQ(rows.size(), 38u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Expected& row = rows[i];
        ASSERT_EQ(row.id, static_cast<std::int16_t>(i + 1)) << "expected rows out of order";
        EXPECT_EQ(LookupText(row.id, "en"), row.english) << "id " << row.id;
        EXPECT_EQ(LookupText(row.id, "fr"), row.french) << "id " << row.id;
    }
}

TEST(LookupTextTable, NoTextCarriesACarriageReturn) {
    for (std::int16_t id = 1; id <= 38; ++id) {
        EXPECT_EQ(LookupText(id, "en").find('\r'), std::string::npos) << "id " << id;
        EXPECT_EQ(LookupText(id, "fr").find('\r'), std::string::npos) << "id " << id;
    }
}

TEST(LookupTextComposite, Id20HasTwoLinesOfKnownLength) {
    const std::string english = LookupText(20, "en");
    EXPECT_EQ(CodePoints(english), 130u);
    const auto englishLines = SplitLines(english);
    ASSERT_EQ(englishLines.size(), 2u);
    EXPECT_EQ(CodePoints(englishLines[0]), 51u);
    EXPECT_EQ(CodePoints(englishLines[1]), 78u);

    const std::string french = LookupText(20, "fr");
    EXPECT_EQ(CodePoints(french), 153u);
    const auto frenchLines = SplitLines(french);
    ASSERT_EQ(frenchLines.size(), 2u);
    EXPECT_EQ(CodePoints(frenchLines[0]), 67u);
    EXPECT_EQ(CodePoints(frenchLines[1]), 85u);
}

TEST(LookupTextComposite, Id29IsThreeLinesInEnglishAndOneInFrench) {
    const std::string english = LookupText(29, "en");
    EXPECT_EQ(std::count(english.begin(), english.end(), '\n'), 2);
    const auto lines = SplitLines(english);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Obtain your Tavorin Pro version for just 75\u20ac.");

    const std::string french = LookupText(29, "fr");
    EXPECT_FALSE(french.empty());
    EXPECT_EQ(std::count(french.begin(), french.end(), '\n'), 0);
}

TEST(LookupTextEdges, TextsMeantForGluingKeepTheirEnds) {
    EXPECT_EQ(LookupText(36, "en"), " minutes");
    EXPECT_EQ(LookupText(36, "fr"), LookupText(36, "en"));

    for (const char* lang : {"en", "fr"}) {
        const std::string folderPrefix = LookupText(24, lang);
        ASSERT_FALSE(folderPrefix.empty()) << lang;
        EXPECT_EQ(folderPrefix.back(), kPathSeparator) << lang;
        EXPECT_EQ(LookupText(35, lang).back(), ' ') << lang;
        EXPECT_EQ(LookupText(38, lang).front(), ' ') << lang;
    }
}

TEST(LookupTextLanguage, OnlyExactFrAndEnSelectAColumn) {
    const std::string_view others[] = {"FR",  "En",  "de",  "",
                                       " en", "en ", "fra", std::string_view("en\0", 3)};
    for (std::string_view lang : others) {
        for (std::int16_t id = 1; id <= 38; ++id) {
            EXPECT_EQ(LookupText(id, lang), "") << "lang '" << lang << "' id " << id;
        }
    }
}

TEST(LookupTextLanguage, EachCallUsesTheCodeItIsGiven) {
    EXPECT_EQ(LookupText(1, "fr"), "Afficher");
    EXPECT_EQ(LookupText(1, "en"), "Show");
    EXPECT_EQ(LookupText(1, "fr"), "Afficher");
    EXPECT_EQ(LookupText(1, "de"), "");
    EXPECT_EQ(LookupText(1, "en"), "Show");
}

TEST(LookupTextLanguage, IdsOutsideTheTableAreEmpty) {
    const std::int16_t outside[] = {0,
                                    39,
                                    -1,
                                    100,
                                    std::numeric_limits<std::int16_t>::max(),
                                    std::numeric_limits<std::int16_t>::min()};
    for (std::int16_t id : outside) {
        EXPECT_EQ(LookupText(id, "en"), "") << "id " << id;
        EXPECT_EQ(LookupText(id, "fr"), "") << "id " << id;
    }
}

}  // namespace
