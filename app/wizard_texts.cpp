#include "app/wizard_texts.h"

#include <initializer_list>

namespace ostrel::texts {
namespace {

QStringList Lines(std::initializer_list<const char*> lines) {
    QStringList out;
    for (const char* line : lines) out << QString::fromUtf8(line);
    return out;
}

}  // namespace

QStringList VersionBlock() {
    return Lines({
        "Программа обновления",
        "встроенного программного",
        "обеспечения ",
        "изделия GPS Ostrel",
        "",
        "",  // "версия: ..." when the window is created
        "",  // "дата: ..." when the window is created
        "",
    });
}

// Lines 12 to 14: the driver download address of Silicon Labs, split to fit the box.
QStringList WelcomeText() {
    return Lines({
        "GPS Ostrel - с нами безопасно!",
        "Данная программа обновит программное ",
        "обеспечение. Во время обновления ",
        "категорически запрещается отсоединять ",
        "разъемы и нажимать на Тревожную кнопку во ",
        "избежание записи ошибочных данных. ",
        "ВНИМАНИЕ! Для работы данной программы ",
        "необходимо установить драйвер виртуального ",
        "СОМ порта фирмы Silicon Laboratories.",
        "Файл CP210x_VCP_Win_XP_S2K3_Vista_7.exe ",
        "находится в архиве, и также доступен по ссылке  ",
        "http://www.silabs.com/",
        "Support%20Documents/Software/",
        "CP210x_VCP_Win_XP_S2K3_Vista_7.exe",
        "",
        "Если драйвер еще не установлен, установите ",
        "его.",
    });
}

QStringList PreparationSteps() {
    return Lines({
        "1. Снимите верхнюю крышку с устройства GPS ",
        "Ostrel",
        "",
        "2. Удалите батарейки ",
        "",
        "3. Подключите USB-программатор Vantor7 к ",
        "персональному компьютеру и к устройству ",
        "GPS Ostrel.",
        "",
        "Если все сделано правильно, то после ",
        "подключения на устойстве ",
        "загорится светодиод (постоянное горение).",
        " ",
        "Для продолжения нажмите кнопку \"Далее\"",
    });
}

QStringList ConnectionHint() {
    return Lines({
        "Проверье правильность соединений и ",
        "нажмите кнопку \"Соединение\".",
    });
}

QStringList SettingsNote() {
    return Lines({
        "Для сохранения пользовательских настроек, ",
        "таких как:",
        "- режим работы",
        "- номер владельца",
        "- пароль",
        "и т.д. установите флажок. В противном случае ",
        "после обновления все настройки будут ",
        "установлены в соответствии с заводскими.",
        "",
    });
}

QStringList SuccessNote() {
    return Lines({
        "Обновление успешно завершено! ",
        "Нажмите кнопку \"Далее\".",
        "",
    });
}

QStringList FailureNote() {
    return Lines({
        "В случае ошибки, повторите ",
        "процедуру заново. Если ошибка не ",
        "пропадает, обратитесь к поставщику.",
    });
}

QStringList ClosingText() {
    return Lines({
        "ПОЗДРАВЛЯЕМ!",
        "",
        "Теперь в устройство загружена обновленная ",
        "версия программного обеспечения.",
        "",
        "Мы постоянно работаем над улучшением ",
        "программного обеспечения, делая работу ",
        "устройства GPS Ostrel более надежной, ",
        "дополняя и улучшая функционал!",
        "Спасибо, что используете GPS Ostrel.",
        "",
    });
}

}  // namespace ostrel::texts
