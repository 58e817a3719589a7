#include "wizard/texts.h"

namespace ostrel::texts {

Lines VersionBlock() {
    static constexpr const char* kLines[] = {
        "Программа обновления",
        "встроенного программного",
        "обеспечения ",
        "изделия GPS Ostrel",
        "",
        "",  // "версия: ..." when the window is created
        "",  // "дата: ..." when the window is created
        "",
    };
    return kLines;
}

// Lines 12 to 14: the driver download address of Silicon Labs, split to fit the box.
Lines WelcomeText() {
    static constexpr const char* kLines[] = {
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
    };
    return kLines;
}

Lines PreparationSteps() {
    static constexpr const char* kLines[] = {
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
    };
    return kLines;
}

Lines ConnectionHint() {
    static constexpr const char* kLines[] = {
        "Проверье правильность соединений и ",
        "нажмите кнопку \"Соединение\".",
    };
    return kLines;
}

Lines SettingsNote() {
    static constexpr const char* kLines[] = {
        "Для сохранения пользовательских настроек, ",
        "таких как:",
        "- режим работы",
        "- номер владельца",
        "- пароль",
        "и т.д. установите флажок. В противном случае ",
        "после обновления все настройки будут ",
        "установлены в соответствии с заводскими.",
        "",
    };
    return kLines;
}

Lines SuccessNote() {
    static constexpr const char* kLines[] = {
        "Обновление успешно завершено! ",
        "Нажмите кнопку \"Далее\".",
        "",
    };
    return kLines;
}

Lines FailureNote() {
    static constexpr const char* kLines[] = {
        "В случае ошибки, повторите ",
        "процедуру заново. Если ошибка не ",
        "пропадает, обратитесь к поставщику.",
    };
    return kLines;
}

Lines ClosingText() {
    static constexpr const char* kLines[] = {
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
    };
    return kLines;
}

}  // namespace ostrel::texts
