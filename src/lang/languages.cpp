#include "lang/languages.h"

#include <cstddef>

namespace ovix {

// Each entry lists its texts in TLanguage order: EN, FR, DE, PL, RU, UA, HU, FI, NL, ES.
// "\r\n" is a line break as message boxes and multi-line labels expect it.
// One text per line keeps the languages easy to compare.
// clang-format off

const TCatalogueEntry txtLanguageCode = {
    "en",
    "fr",
    "de",
    "pl",
    "ru",
    "ua",
    "hu",
    "fi",
    "nl",
    "es",
};

const TCatalogueEntry txtSelectDirectory = {
    "Select World of Tanks installation directory:",
    "Sélectionnez le répertoire d'installation de World of tanks :",
    "Wähle dein World of Tanks Hauptverzeichnis aus:",
    "Wskaż ścieżkę dostępu do folderu World_of_Tanks:",
    "Выберите папку с установленной игрой World of Tanks:",
    "Виберіть каталог з інстальованою грою World of Tanks:",
    "Válaszd ki a World of Tanks telepítési mappáját:",
    "Valitse World of Tanks asennus kansio:",
    "Selecteer de World of Tanks installatiemap:",
    "Seleccione el directorio de instalación de World of Tanks:",
};

const TCatalogueEntry txtRetryDirectory = {
    "Unable to detect the game in this directory, do you want to try again?",
    "Impossible de détecter le jeu dans ce répertoire, voulez-vous réessayer ?",
    "Das Spiel wurde in diesem Verzeichnis nicht erkannt, willst du es noch einmal versuchen?",
    "Podano nieprawidłową ścieżkę, chcesz spróbować ponownie?",
    "В указанной папке игра не найдена. Хотите выбрать снова?",
    "Не можу знайти гру в каталозі, що ви вказали. Спробувати ще?",
    "A játékot nem sikerült azonosítani a megadott mappában. Szeretnéd újrapróbálni?",
    "Peliä ei löydä tästä kasiosta, haluatko kokeilla toista kansiota?",
    "Geen World of Tanks installatie gevonden in deze map, wilt u het opnieuw proberen?",
    "No se puede detectar el juego en este directorio, ¿desea probar de nuevo?",
};

const TCatalogueEntry txtDirectoryNotDetected = {
    "Unable to detect World of Tanks installation directory.\r\n"
    "Please specify it manually.",
    "Impossible de détecter le répertoire d'installation de World of Tanks.\r\n"
    "Merci de le spécifier manuellement.",
    "Das Spiel wurde in diesem Verzeichnis nicht erkannt.\r\n"
    "Bitte wähle es Manuell aus.",
    "Podano nieprawidłową ścieżkę.\r\n"
    "Wskaż ją ręcznie.",
    "Не удалось найти папку с World of Tanks.\r\n"
    "Пожалуйста, укажите её вручную.",
    "Не можу знайти каталог World of Tanks.\r\n"
    "Будьласка, вкажіть її вручну.",
    "Nem sikerült megtalálni a World of Tanks telepítési mappáját.\r\n"
    "Kérlek, válaszd ki manuálisan.",
    "World of Tanks asennus kansiota ei löydy.\r\n"
    "Ole hyvä ja kirjoita kansio.",
    "Geen World of Tanks installatie gevonden.\r\n"
    "Geef het handmatig op.",
    "No se puede detectar el directorio de instalación de World of Tanks.\r\n"
    "Por favor, especifíquelo manualmente.",
};

const TCatalogueEntry txtCloseClient = {
    "Please exit World of Tanks client before proceeding\r\n"
    "to Ovix installation or update.",
    "Merci d'arrêter World of Tanks avant de procéder\r\n"
    "à l'installation ou la mise à jour d'Ovix.",
    "Bitte schließe World of Tanks um mit\r\n"
    "der Ovix Installation/Update fortzufahren.",
    "Wyłącz grę oraz zamknij klienta gry, zanim przejdziesz\r\n"
    "do instalacji lub aktualizacji Ovix.",
    "Пожалуйста, закройте клиент World of Tanks до начала установки\r\n"
    "или обновления Ovix.",
    "Будьласка, вийдіть з World of Tanks для, встановлення\r\n"
    "чи оновлення Ovix.",
    "Kérlek, zárd be a World of Tanks klienst,\r\n"
    "mielőtt megkezdenéd az Ovix telepítését vagy frissítését.",
    "Ole hyvä ja poistu World of Tanks pelistä ennen\r\n"
    "Ovix asenusta, tai päivitystä",
    "Sluit de World of Tanks client voordat u verder gaat\r\n"
    "met het installeren of updaten van Ovix.",
    "Por favor, cierre World of Tanks antes de proceder\r\n"
    "a la instalación o la actualización de Ovix.",
};

const TCatalogueEntry txtDirectoryCorrupted = {
    "The installation directory is incorrect or corrupted.\r\n"
    "Unable to check \"res_mods\" directory content.",
    "Votre répertoire d'installation est incorrect ou corrompu.\r\n"
    "Impossible de vérifier le contenu du dossier \"res_mods\".",
    "Das Installationsverzeichnis ist Falsch oder Fehlerhaft.\r\n"
    "Der inhalt des Verzeichnisses \"res_mods\" konnte nicht überprüft werden.",
    "Ścieżka dostępu jest nieprawidłowa lub uszkodzona.\r\n"
    "Sprawdź czy istnieje folder \"res_mods\" w katalogu głównym.",
    "Папка установки ошибочна или повреждена.\r\n"
    "Не удаётся проверить содержимое папки \"res_mods\".",
    "Каталог інсталяції помилкова чи пошкоджена.\r\n"
    "Не можу перевірити вміст каталогу \"res_mods\".",
    "A telepítési mappa nem megfelelő vagy sérült.\r\n"
    "A \"res_mods\" mappa tartalma nem ellenőrizhető.",
    "Asennus kansio on väärä, tai vahingoittunut\r\n"
    "Ei voi tarkistaa \"res_mods\" hakemiston sisältöä.",
    "De installatiemap is ongeldig of currupt.\r\n"
    "De inhoud van \"res_mods\" kon niet gecontroleerd worden.",
    "El directorio de la instalación no es correcto o esta corrupto.\r\n"
    "Imposible comprovar el contenido del directorio \"res_mods\".",
};

const TCatalogueEntry txtDownloadingScript = {
    "Downloading installation script...",
    "Téléchargement du script d'installation...",
    "Downloade Installationsskript...",
    "Pobieranie...",
    "Загрузка скриптов установки...",
    "Завантажую сценарії інсталяції...",
    "Telepítő parancsfájl letöltése...",
    "Ladataan asennustiedostoja...",
    "Installatie script downloaden...",
    "Descargando el script de instalación...",
};

const TCatalogueEntry txtCollectingInfo = {
    "Collecting required information...",
    "Récupération des informations nécessaires...",
    "Erforderliche Informationen werden gesammelt...",
    "Zapisywanie informacji...",
    "Сбор необходимой информации...",
    "Збір необхідної інформації...",
    "Szükséges adatok összegyűjtése...",
    "Kerätään tarvittavia tietoja...",
    "Benodigde informatie verzamelen...",
    "Recolectando la información necesaria...",
};

const TCatalogueEntry txtDownloadError = {
    "Error whilst downloading:",
    "Une erreur est survenue lors du téléchargement :",
    "Fehler beim Download:",
    "Wystąpił błąd podczas pobierania:",
    "Ошибка загрузки:",
    "Помилка завантаження:",
    "Hiba letöltés közben:",
    "Virhe ladattaessa:",
    "Er is een fout opgetreden tijdens het downloaden:",
    "Error durante la descarga:",
};

const TCatalogueEntry txtScriptForced = {
    "Script source forced from command line.",
    "Source du script modifiée depuis la ligne de commande.",
    "Das Script wurde vom Benutzer geändert.",
    "Skrypt zmieniony przez użytkownika.",
    "Используется скрипт из параметра командной строки.",
    "Змушені cценарії джерела з командного рядка.",
    "A parancsfájl meg lett változtatva.",
    "Lähde edelleenohjattu komentorivillä.",
    "Script bron geforceerd vanaf de command line.",
    "La fuente del script ha sido forzada desde la linea de comandos.",
};

const TCatalogueEntry txtDefault = {
    "Default",
    "Par défaut",
    "Standard",
    "Nowy",
    "Стандартная",
    "За замовчуванням",
    "Alapértelmezett",
    "Oletusasetukset",
    "Standaard",
    "Por defecto",
};

const TCatalogueEntry txtStable = {
    "Stable",
    "Stable",
    "Stabile",
    "Bez zmian",
    "Стабильная",
    "Стабільна",
    "Stabil",
    "Vakaa",
    "Stable",
    "Estable",
};

const TCatalogueEntry txtWarning = {
    "If this is the first time you install Ovix or you don't know the meaning of these "
    "options,\r\n"
    "please leave them as they currently are and click directly on \"Install / Update\".",
    "Si vous installez Ovix pour la première fois ou que vous ne savez pas à quoi servent\r\n"
    "ces options, ne modifiez rien et cliquez sur \"Installer / Mettre à jour\".",
    "Wenn dies das erste Mal ist, dass du Ovix installierst oder nicht weißt, was die\r\n"
    "Optionen bewirken, lasse diese wie sie sind und klicke direkt auf 'Installieren / Updaten'.",
    "Jeśli po raz pierwszy instalujesz Ovix lub nie znasz znaczenia poniższych opcji,\r\n"
    "pozostaw domyślne ustawienia i kliknij bezpośrednio \"Instaluj / Aktualizuj\".",
    "Если вы устанавливаете Ovix в первый раз или не знаете назначения этих\r\n"
    "настроек, оставьте их как есть и нажмите \"Установить / Обновить\".",
    "Якщо Ви вперше інсталюєте Ovix і не знаете як це робити, залиште всі\r\n"
    "налаштування як є і натисніть кнопку \"Інсталювати / Оновити\".",
    "Ha most telepítesz először Ovix-et, vagy nem tudod, mit változtatnak ezek a\r\n"
    "beállítások, ne módosíts rajtuk, hanem kattints közvetlenül a \"Telepítés / Frissítés\"-re.",
    "Jos tämä on ensimmäinen kerta, kun asennat Ovix:modia ja et tiedä valintojen\r\n"
    "merkitystä, kannattaa valita \"Asenna / Päivitä\".",
    "Als dit de eerste keer is dat u Ovix installeert of u weet niet wat de betekenis van deze\r\n"
    "opties is, laat deze dan voor wat ze zijn en klik meteen op \"Installeer / Update\".",
    "Si es la primera vez que instalas Ovix o no sabes que significan estas opciones,\r\n"
    "dejalas como están y pulsa directamente en \"Instalar / Actualizar\".",
};

const TCatalogueEntry txtOptions = {
    "Options:",
    "Options :",
    "Optionen:",
    "Opcje:",
    "Настройки:",
    "Налаштування:",
    "Beállítások:",
    "Valinnat:",
    "Opties:",
    "Opciones:",
};

const TCatalogueEntry txtProgress = {
    "Progress:",
    "Progression :",
    "Fortschritt:",
    "Przebieg instalacji:",
    "Состояние:",
    "Процес:",
    "Folyamat:",
    "Edistyminen:",
    "Voortgang:",
    "Progreso:",
};

const TCatalogueEntry txtInstallUpdate = {
    "Install / Update",
    "Installer / Mettre à jour",
    "Installieren / Updaten",
    "Instaluj / Aktualizuj",
    "Установить / Обновить",
    "Інсталювати / Оновити",
    "Telepítés / Frissítés",
    "Asenna / Päivitä",
    "Installeer / Update",
    "Instalar / Actualizar",
};

const TCatalogueEntry txtModify = {
    "Modify",
    "Modifier",
    "Wechseln",
    "Zmień",
    "Изменить",
    "Змінити",
    "Tallózás",
    "Muokkaa",
    "Bewerken",
    "Modificar",
};

const TCatalogueEntry txtKeepConfig = {
    "Keep old Ovix configuration file",
    "Garder l'ancienne configuration d'Ovix",
    "Alte Ovix Konfiguration behalten",
    "Zachowaj swój dotychczasowy plik konfiguracyjny Ovix",
    "Сохранить старый конфиг Ovix",
    "Залишити старий файл конфігурації Ovix",
    "Előző Ovix konfigurációs fájl megtartása",
    "Pidä vanhat Ovix asetustiedot",
    "Oude Ovix configuratie behouden",
    "Guardar la configuración actual de Ovix",
};

const TCatalogueEntry txtModVersion = {
    "Ovix version: ",
    "Version d'Ovix : ",
    "Ovix Version: ",
    "Wersja Ovix: ",
    "Версия Ovix: ",
    "Ovix версія: ",
    "Ovix verzió: ",
    "Ovix versio: ",
    "Ovix versie: ",
    "Version de Ovix: ",
};

const TCatalogueEntry txtConfiguration = {
    "Configuration: ",
    "Configuration : ",
    "Konfiguration: ",
    "Plik konfiguracyjny: ",
    "Конфигурация: ",
    "Конфігурація: ",
    "Konfiguráció: ",
    "Asetukset: ",
    "Configuratie: ",
    "Configuración: ",
};

const TCatalogueEntry txtCurrentAction = {
    "Current action: ",
    "Action en cours : ",
    "Wird bearbeitet: ",
    "Trwa: ",
    "Текущая операция: ",
    "Зараз виконується: ",
    "Aktuális művelet: ",
    "Tämänhetkinen toimito: ",
    "Huidige activiteit: ",
    "Acción en curso: ",
};

const TCatalogueEntry txtTitle = {
    "Ovix Updater v2.9 by the Ovix team",
    "Ovix Updater v2.9 by the Ovix team",
    "Ovix Updater v2.9 by the Ovix team [DE: community translation]",
    "Ovix Updater v2.9 by the Ovix team [PL: community translation]",
    "Ovix Updater v2.9 by the Ovix team [RU: community translation]",
    "Ovix Updater v2.9 by the Ovix team [UA: community translation]",
    "Ovix Updater v2.9 by the Ovix team [HU: community translation]",
    "Ovix Updater v2.9 by the Ovix team [FI: community translation]",
    "Ovix Updater v2.9 by the Ovix team [NL: community translation]",
    "Ovix Updater v2.9 by the Ovix team [ES: community translation]",
};
const TCatalogueEntry txtOtherFolder = {
    "Other folder…",
    "Autre dossier…",
    "Anderer Ordner…",
    "Inny folder…",
    "Другая папка…",
    "Інша тека…",
    "Másik mappa…",
    "Muu kansio…",
    "Andere map…",
    "Otra carpeta…",
};

const TCatalogueEntry txtUndoInstall = {
    "The installation did not finish. Do you want to put the game folder back as it was before?",
    "L'installation ne s'est pas terminée. Voulez-vous remettre le dossier du jeu dans l'état où il était avant ?",
    "Die Installation wurde nicht abgeschlossen. Willst du den Spielordner wieder so herstellen, wie er vorher war?",
    "Instalacja nie została ukończona. Czy chcesz przywrócić folder gry do stanu sprzed instalacji?",
    "Установка не завершена. Вернуть папку игры в прежнее состояние?",
    "Встановлення не завершено. Повернути теку гри до попереднього стану?",
    "A telepítés nem fejeződött be. Szeretnéd visszaállítani a játék mappáját a korábbi állapotára?",
    "Asennus ei valmistunut. Haluatko palauttaa pelikansion ennalleen?",
    "De installatie is niet voltooid. Wil je de spelmap terugzetten zoals die eerder was?",
    "La instalación no ha terminado. ¿Quieres devolver la carpeta del juego a como estaba antes?",
};

const TCatalogueEntry txtUndoDone = {
    "The game folder is back as it was before the installation.",
    "Le dossier du jeu est revenu à l'état d'avant l'installation.",
    "Der Spielordner ist wieder so wie vor der Installation.",
    "Folder gry został przywrócony do stanu sprzed instalacji.",
    "Папка игры возвращена в состояние до установки.",
    "Теку гри повернуто до стану перед встановленням.",
    "A játék mappája visszaállt a telepítés előtti állapotába.",
    "Pelikansio on palautettu asennusta edeltävään tilaan.",
    "De spelmap is teruggezet zoals die voor de installatie was.",
    "La carpeta del juego ha vuelto a como estaba antes de la instalación.",
};

const TCatalogueEntry txtUndoNotDone = {
    "The game folder could not be put back as it was: some of its files were changed since the installation or cannot be replaced.",
    "Le dossier du jeu n'a pas pu être remis dans son état d'origine : certains fichiers ont été modifiés depuis l'installation ou ne peuvent pas être remplacés.",
    "Der Spielordner konnte nicht wiederhergestellt werden: Einige Dateien wurden seit der Installation geändert oder können nicht ersetzt werden.",
    "Nie udało się przywrócić folderu gry: niektóre pliki zmieniono od czasu instalacji lub nie można ich zastąpić.",
    "Не удалось вернуть папку игры в прежнее состояние: некоторые файлы изменены после установки или не могут быть заменены.",
    "Не вдалося повернути теку гри до попереднього стану: деякі файли змінено після встановлення або їх неможливо замінити.",
    "A játék mappáját nem sikerült visszaállítani: néhány fájl megváltozott a telepítés óta, vagy nem cserélhető.",
    "Pelikansiota ei voitu palauttaa: joitakin tiedostoja on muutettu asennuksen jälkeen tai niitä ei voi korvata.",
    "De spelmap kon niet worden teruggezet: sommige bestanden zijn sinds de installatie gewijzigd of kunnen niet worden vervangen.",
    "No se pudo devolver la carpeta del juego a su estado anterior: algunos archivos han cambiado desde la instalación o no se pueden reemplazar.",
};

const TCatalogueEntry txtNotSigned = {
    "The update service's answer is not signed by a trusted key, so it was not used.",
    "La réponse du service de mise à jour n'est pas signée par une clé de confiance : elle n'a pas été utilisée.",
    "Die Antwort des Update-Dienstes ist nicht mit einem vertrauenswürdigen Schlüssel signiert und wurde daher nicht verwendet.",
    "Odpowiedź usługi aktualizacji nie jest podpisana zaufanym kluczem, więc nie została użyta.",
    "Ответ службы обновлений не подписан доверенным ключом, поэтому он не использован.",
    "Відповідь служби оновлень не підписана довіреним ключем, тому її не використано.",
    "A frissítési szolgáltatás válasza nincs megbízható kulccsal aláírva, ezért nem lett felhasználva.",
    "Päivityspalvelun vastausta ei ole allekirjoitettu luotetulla avaimella, joten sitä ei käytetty.",
    "Het antwoord van de updatedienst is niet ondertekend met een vertrouwde sleutel en is daarom niet gebruikt.",
    "La respuesta del servicio de actualización no está firmada con una clave de confianza, así que no se ha usado.",
};
const TCatalogueEntry txtGameFolderBusy = {
    "Another installation or undo is running in this game folder. Wait until it has finished, then try again.",
    "Une autre installation ou annulation est en cours dans ce dossier du jeu. Attends qu'elle soit terminée, puis réessaie.",
    "In diesem Spielordner läuft bereits eine andere Installation oder Rücknahme. Warte, bis sie fertig ist, und versuche es dann erneut.",
    "W tym folderze gry trwa już inna instalacja lub cofanie zmian. Poczekaj, aż się zakończy, i spróbuj ponownie.",
    "В этой папке игры уже идёт другая установка или отмена. Дождись её завершения и попробуй снова.",
    "У цій теці гри вже триває інше встановлення або скасування. Дочекайся його завершення і спробуй знову.",
    "Ebben a játékmappában már fut egy másik telepítés vagy visszaállítás. Várd meg, amíg befejeződik, majd próbáld újra.",
    "Tässä pelikansiossa on jo käynnissä toinen asennus tai peruutus. Odota, että se valmistuu, ja yritä sitten uudelleen.",
    "In deze spelmap loopt al een andere installatie of terugzetting. Wacht tot die klaar is en probeer het dan opnieuw.",
    "Ya hay otra instalación o deshacer en curso en esta carpeta del juego. Espera a que termine y vuelve a intentarlo.",
};
// clang-format on

const std::array<const TCatalogueEntry*, kCatalogueSize> kCatalogue = {
    &txtLanguageCode,
    &txtSelectDirectory,
    &txtRetryDirectory,
    &txtDirectoryNotDetected,
    &txtCloseClient,
    &txtDirectoryCorrupted,
    &txtDownloadingScript,
    &txtCollectingInfo,
    &txtDownloadError,
    &txtScriptForced,
    &txtDefault,
    &txtStable,
    &txtWarning,
    &txtOptions,
    &txtProgress,
    &txtInstallUpdate,
    &txtModify,
    &txtKeepConfig,
    &txtModVersion,
    &txtConfiguration,
    &txtCurrentAction,
    &txtTitle,
    &txtOtherFolder,
    &txtUndoInstall,
    &txtUndoDone,
    &txtUndoNotDone,
    &txtNotSigned,
    &txtGameFolderBusy,
};

const std::array<std::string_view, kCatalogueSize> kCatalogueNames = {
    "txtLanguageCode",
    "txtSelectDirectory",
    "txtRetryDirectory",
    "txtDirectoryNotDetected",
    "txtCloseClient",
    "txtDirectoryCorrupted",
    "txtDownloadingScript",
    "txtCollectingInfo",
    "txtDownloadError",
    "txtScriptForced",
    "txtDefault",
    "txtStable",
    "txtWarning",
    "txtOptions",
    "txtProgress",
    "txtInstallUpdate",
    "txtModify",
    "txtKeepConfig",
    "txtModVersion",
    "txtConfiguration",
    "txtCurrentAction",
    "txtTitle",
    "txtOtherFolder",
    "txtUndoInstall",
    "txtUndoDone",
    "txtUndoNotDone",
    "txtNotSigned",
    "txtGameFolderBusy",
};

std::string_view Text(const TCatalogueEntry& entry, TLanguage language) {
  const auto index = static_cast<std::size_t>(language);
  return entry[index < entry.size() ? index : static_cast<std::size_t>(lngEN)];
}

}  // namespace ovix
