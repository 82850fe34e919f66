#include "ActionTable.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QToolBar>

namespace dm {

namespace {

enum : unsigned { Hidden = 1, Checkable = 2, Checked = 4 };

struct MenuDef {
    const char* id;
    const char* parent;  // null: the menu bar
    const char* title;
    unsigned flags;
};

// Menus in menu-bar order.
const MenuDef kMenus[] = {
    {"FileMenu", nullptr, "Файл", 0},
    {"RecentMenu", "FileMenu", "Недавние карты", 0},
    {"EditMenu", nullptr, "Редактор", 0},
    {"CreaButton", nullptr, "Создать объект", 0},
    {"Nazvania", nullptr, "Названия", 0},
    {"RueMenu", nullptr, "Улицы", 0},
    {"RueKorAxeMenu", "RueMenu", "Корректировать ось", 0},
    {"SloyMenu", nullptr, "Слои", 0},
    {"ToolsMenu", nullptr, "Tools", 0},
    {"CutMapMenu", nullptr, "Вырезать карту", 0},
    {"FormObjMenu", nullptr, "Формировать объект", Hidden},
    {"N3", "FormObjMenu", "Тип объекта", 0},
    {"SpiskiMenu", nullptr, "Создать списки", Hidden},
    {"PrintMenu", nullptr, "Печать", Hidden},
};

struct EntryDef {
    const char* id;
    const char* menu;     // null: tool bar only
    const char* caption;
    const char* hint;
    unsigned flags;
    const char* shortcut;
};

// Menu items in menu order; "-" is a separator.
const EntryDef kEntries[] = {
    {"FergKartaMenu", "FileMenu", "Карта города", nullptr, 0, nullptr},
    {"FileOpen", "FileMenu", "Открыть", nullptr, 0, "Ctrl+O"},
    {"RecentMenu", "FileMenu", nullptr, nullptr, 0, nullptr},
    {"FileSave", "FileMenu", "Сохранить", "Сохранить изменения в файле", 0, "Ctrl+S"},
    {"FileSaveAs", "FileMenu", "Сохранить как...", nullptr, 0, nullptr},
    {"FileOpenDb", "FileMenu", "Открыть из базы…", "Открыть карту из общей базы (PostgreSQL)", 0, nullptr},
    {"FileSaveDb", "FileMenu", "Сохранить в базу…", "Загрузить город в общую базу как новую карту", 0, nullptr},
    {"SaveOrn", "FileMenu", "Сохранить ориентировку", nullptr, 0, nullptr},
    {"WholeMap", "FileMenu", "Вся карта", "Показать всю карту в окне", 0, "Ctrl+0"},
    {"ExportGis", "FileMenu", "Экспорт...", "Выгрузить карту в файл GeoPackage или GeoJSON", 0, nullptr},
    {"ImportGis", "FileMenu", "Импорт...", "Добавить объекты из файла ГИС", 0, nullptr},
    {"-", "FileMenu", nullptr, nullptr, 0, nullptr},
    {"N6", "FileMenu", "Выход", "Выход", 0, "F10"},

    {"DeleteButton", "EditMenu", "Удалить объект", nullptr, 0, nullptr},
    {"ChangeButton", "EditMenu", "Переместить объект", nullptr, 0, nullptr},
    {"DelPointButton", "EditMenu", "Удалить точку", nullptr, 0, nullptr},
    {"MovPoinButton", "EditMenu", "Переместить точку", nullptr, 0, nullptr},
    {"Udline", "EditMenu", "Удалить фрагмент", nullptr, Hidden, nullptr},
    {"IsertFagmBitton", "EditMenu", "Вставить фрагмент", nullptr, Hidden, nullptr},
    {"ChangDirection", "EditMenu", "Изменить направление", nullptr, 0, nullptr},
    {"ChangeSem", "EditMenu", "Изменить семантику", nullptr, 0, nullptr},
    {"zmknut", "EditMenu", "Замкнуть", nullptr, 0, nullptr},
    {"RazmkMenu", "EditMenu", "Разомкнуть", nullptr, 0, nullptr},
    {"TurnObj", "EditMenu", "Вращать объект", nullptr, Hidden, nullptr},
    {"DivideButton", "EditMenu", "Разделить объект", nullptr, Hidden, nullptr},
    {"DivPiketsMenu", "EditMenu", "Разрядить пикеты", nullptr, Hidden, nullptr},
    {"SuitButton", "EditMenu", "Найти следующий объект", nullptr, 0, nullptr},
    {"BringToFirst", "EditMenu", "Объект на передний план", nullptr, 0, nullptr},
    {"SendToLast", "EditMenu", "Объект на задний план", nullptr, 0, nullptr},
    {"DeletNameObj", "EditMenu", "Удалить название объекта", nullptr, 0, nullptr},
    {"SostObjMenu", "EditMenu", "Составить объект", nullptr, 0, nullptr},
    {"-", "EditMenu", nullptr, nullptr, 0, nullptr},
    {"UndoAction", "EditMenu", "Отменить действие", nullptr, 0, "Ctrl+Z"},
    {"RedoAction", "EditMenu", "Вернуть действие", nullptr, 0, "Ctrl+Y"},
    {"-", "EditMenu", nullptr, nullptr, 0, nullptr},
    {"CursCrois", "EditMenu", "Курсор - крест", nullptr, 0, nullptr},
    {"CursDefault", "EditMenu", "Курсор - стрелка", nullptr, 0, nullptr},
    {"Precision", "EditMenu", "Точные измерения", nullptr, Checkable, nullptr},
    {"-", "EditMenu", nullptr, nullptr, 0, nullptr},
    {"OtmenaRedk", "EditMenu", "Отмена", nullptr, 0, nullptr},

    {"LineButton", "CreaButton", "Линейный", nullptr, 0, nullptr},
    {"AreaButton", "CreaButton", "Площадной", nullptr, 0, nullptr},
    {"PointButton", "CreaButton", "Точечный", nullptr, 0, nullptr},
    {"OtmenaCrea", "CreaButton", "Отмена", nullptr, 0, nullptr},

    {"NazVyvod", "Nazvania", "Вывести", nullptr, 0, nullptr},
    {"MoveNazv", "Nazvania", "Переместить", nullptr, 0, nullptr},
    {"DelNazv", "Nazvania", "Удалить", nullptr, 0, nullptr},
    {"KorrNazv", "Nazvania", "Корректировать", nullptr, 0, nullptr},
    {"CreaNazv", "Nazvania", "Создать", nullptr, 0, nullptr},
    {"NazErase", "Nazvania", "Убрать с экрана", nullptr, Hidden, nullptr},
    {"JoinNazObj", "Nazvania", "Привязать к объекту", nullptr, Hidden, nullptr},
    {"NazSave", "Nazvania", "Сохранить названия", nullptr, 0, nullptr},
    {"NazDefFont", "Nazvania", "Установить шрифт", nullptr, Hidden, nullptr},
    {"NazOtmena", "Nazvania", "Отмена", nullptr, 0, nullptr},

    {"RueLoad", "RueMenu", "Загрузить", nullptr, 0, nullptr},
    {"RueShowAll", "RueMenu", "Показать все", nullptr, 0, nullptr},
    {"RueNazFind", "RueMenu", "Искать название", nullptr, 0, nullptr},
    {"RueKarta", "RueMenu", "Показать на карте", nullptr, 0, nullptr},
    {"RueChangeMenu", "RueMenu", "Переместить название", nullptr, 0, nullptr},
    {"RueKorrMenu", "RueMenu", "Корректировать название", nullptr, 0, nullptr},
    {"ShowRueAxe", "RueMenu", "Показать ось", nullptr, 0, nullptr},
    {"RueKorAxeMenu", "RueMenu", nullptr, nullptr, 0, nullptr},
    {"RueAxeMovePoint", "RueKorAxeMenu", "Переместить точку", nullptr, 0, nullptr},
    {"RueAxeInsert", "RueKorAxeMenu", "Вставить точки", nullptr, 0, nullptr},
    {"RueShriftChange", "RueMenu", "Изменить шрифт", nullptr, 0, nullptr},
    {"RueDoma", "RueMenu", "Дома", nullptr, Hidden, nullptr},
    {"RueSortNew", "RueMenu", "Сортировка по новым", nullptr, 0, nullptr},
    {"RueSortOld", "RueMenu", "Сортировка по старым", nullptr, 0, nullptr},
    {"RueDelete", "RueMenu", "Удалить", nullptr, 0, nullptr},
    {"RueNewCreaMenu", "RueMenu", "Создать новую", nullptr, 0, nullptr},
    {"RueSave", "RueMenu", "Сохранить", nullptr, 0, nullptr},
    {"RueOtmena", "RueMenu", "Отмена", nullptr, 0, nullptr},

    {"SloyShow", "SloyMenu", "Показать", nullptr, 0, nullptr},
    {"SloyForm", "SloyMenu", "Формировать", nullptr, 0, nullptr},
    {"SloyOtkl", "SloyMenu", "Отключить/Включить", nullptr, Checkable, nullptr},

    {"SemnShow", "ToolsMenu", "Семантика", nullptr, Checkable | Checked, nullptr},
    {"MapNamesItem", "ToolsMenu", "Названия карты", nullptr, Checkable | Checked, nullptr},
    {"SpecNamesItem", "ToolsMenu", "Названия спецнагрузки", nullptr, Checkable | Hidden, nullptr},
    {"AllNamesFont", "ToolsMenu", "Сменить шрифт у всех названий", nullptr, 0, nullptr},
    {"PiketButton", "ToolsMenu", "Показать пикеты", nullptr, 0, nullptr},
    {"ToolsCre", "ToolsMenu", "Формирование объектов", nullptr, Hidden, nullptr},
    {"Bringtofront", "ToolsMenu", "Площадные вперед", nullptr, Hidden, nullptr},
    {"SendToBack", "ToolsMenu", "Площадные в конец", nullptr, Hidden, nullptr},
    {"ClassifMenu", "ToolsMenu", "Классификатор", nullptr, Hidden, nullptr},
    {"OstnvMenu", "ToolsMenu", "Остановки", nullptr, Hidden, nullptr},
    {"RayOtdelMenu", "ToolsMenu", "Форма пользователя", nullptr, 0, nullptr},

    {"LassoGrn", "CutMapMenu", "Вырезать границу", nullptr, 0, nullptr},
    {"SaveLasso", "CutMapMenu", "Сохранить ", nullptr, 0, nullptr},

    {"OtborObj", "FormObjMenu", "Отбор объектов", nullptr, Checkable, nullptr},
    {"tip2", "N3", "линейный", nullptr, 0, nullptr},
    {"tip3", "N3", "площадной", nullptr, 0, nullptr},
    {"Formir", "FormObjMenu", "Сформировать общий ", nullptr, 0, nullptr},
    {"SaveNewObj1", "FormObjMenu", "Сохранить в TList", nullptr, 0, nullptr},
    {"DeleteOldObj", "FormObjMenu", "Убрать старые", nullptr, 0, nullptr},
    {"CancelNewObj", "FormObjMenu", "Отмена", nullptr, 0, nullptr},
    {"SaveRay", "FormObjMenu", "Сохранить границы  в File", nullptr, 0, nullptr},
    {"AnklvSave", "FormObjMenu", "Сохранить границы анклава", nullptr, 0, nullptr},

    {"Viloyat1", "SpiskiMenu", "Вилоятов", nullptr, 0, nullptr},
    {"Tuman", "SpiskiMenu", "Туманов", nullptr, 0, nullptr},
    {"RayonDlgItem", "SpiskiMenu", "Туманы", "Районы вилоята: карты, границы, закраска", 0, nullptr},
    {"PrnCanvas", "PrintMenu", "PrnCanvas", nullptr, 0, nullptr},
    {"PrnPreview", "PrintMenu", "Предварительный просмотр", nullptr, 0, nullptr},

    // Tool-bar buttons of their own.
    {"KfUv", nullptr, "Увеличить", "Увеличить", Checkable, nullptr},
    {"KfUm", nullptr, "Уменьшить", "Уменьшить", 0, nullptr},
    {"ShowButton", nullptr, "Обновить экран", "Обновить экран", 0, nullptr},
    {"FindButton", nullptr, "Искать объект", "Искать объект", Checkable, nullptr},
    {"BlickButton", nullptr, "Мигание", "Мигание", Checkable, nullptr},
    {"GeocordButton", nullptr, "Координаты,  расстояния, площадь", "Координаты,  расстояния, площадь", Checkable,
     nullptr},
    {"MoveRastrButton", nullptr, "Перемещение изображения", "Перемещение изображения", Checkable, nullptr},
    {"ItenererButton", nullptr, "Как проехать", "Как проехать", 0, nullptr},
    {"FontButton", nullptr, "Установить шрифт", "Установить шрифт", 0, nullptr},
    {"AreaLineButton", nullptr, "Изменить цвет", "Изменить цвет", 0, nullptr},
    {"PrintMapButton", nullptr, "Печать карты", "Печать карты", 0, nullptr},
    {"RastrButton", nullptr, "Сохранить в буфере обмена", "Сохранить в буфере обмена", Hidden, nullptr},
    {"SloyFormButton", nullptr, "Формирование слоев", "Формирование слоев", Hidden, nullptr},
    {"SloyShowButton", nullptr, "Вывод по слоям", "Вывод по слоям", Hidden, nullptr},
    {"TumanMapButton", nullptr, "Карты районов", "Карты районов", Checkable | Hidden, nullptr},
    {"TableButton", nullptr, "Таблица пользователя", "Таблица пользователя", 0, nullptr},
    {"CalndrButton", nullptr, "Календарь", "Календарь", 0, nullptr},
    {"AboutButton", nullptr, "О программе", "О программе", 0, nullptr},
    // The address search.
    {"WhatIsHere", nullptr, "Что здесь?", "Что здесь? (адрес по щелчку на карте)", Checkable, nullptr},
    {"RouteAddresses", nullptr, "Маршрут между адресами", "Маршрут между адресами", 0, nullptr},
};

// Tool-bar order; FileSave and N6 are the buttons SpeedButton4 and ExitButton.
const char* const kToolbar[] = {"FileSave", "-", "KfUv", "KfUm", "ShowButton", "FindButton", "BlickButton", "-",
                                "GeocordButton", "MoveRastrButton", "ItenererButton", "-", "FontButton",
                                "AreaLineButton", "PrintMapButton", "RastrButton", "SloyFormButton",
                                "SloyShowButton", "TumanMapButton", "TableButton", "-", "CalndrButton",
                                "AboutButton", "N6"};

struct Glyph {
    const char* id;
    const char* text;
    QRgb color;
};
const Glyph kGlyphs[] = {
    {"FileSave", "S", 0x204080}, {"KfUv", "+", 0x006000}, {"KfUm", "−", 0x006000},
    {"ShowButton", "↻", 0x204080}, {"FindButton", "?", 0x802000}, {"BlickButton", "✱", 0xC00000},
    {"GeocordButton", "Км", 0x600060}, {"MoveRastrButton", "✥", 0x404040}, {"ItenererButton", "⇢", 0xA06000},
    {"FontButton", "A", 0x000000}, {"AreaLineButton", "Цв", 0x0050A0}, {"PrintMapButton", "Пч", 0x404040},
    {"RastrButton", "Бф", 0x404040}, {"SloyFormButton", "Сф", 0x406000}, {"SloyShowButton", "Сл", 0x406000},
    {"TumanMapButton", "Рн", 0x806000}, {"TableButton", "Тб", 0x404080}, {"CalndrButton", "Кл", 0x804000},
    {"AboutButton", "i", 0x204080}, {"N6", "✕", 0x800000}, {"WhatIsHere", "Ад", 0x006080},
    {"RouteAddresses", "⇄", 0xA06000},
};

QIcon glyphIcon(const QString& text, QColor color) {
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(text.size() > 1 ? 12 : 18);
    f.setBold(true);
    p.setFont(f);
    p.setPen(color);
    p.drawText(QRect(0, 0, 24, 24), Qt::AlignCenter, text);
    return QIcon(pm);
}

}  // namespace

QAction* ActionTable::operator[](const char* id) const { return actions_.value(QString::fromLatin1(id)); }

void ActionTable::build(QMainWindow* window, QToolBar* toolbar, bool allTools) {
    for (const MenuDef& m : kMenus) {
        QMenu* parent = m.parent ? menus_.value(QString::fromLatin1(m.parent)) : nullptr;
        QMenu* menu = parent ? parent->addMenu(QString::fromUtf8(m.title))
                             : window->menuBar()->addMenu(QString::fromUtf8(m.title));
        menu->setObjectName(QString::fromLatin1(m.id));
        menu->menuAction()->setObjectName(QString::fromLatin1(m.id));
        if ((m.flags & Hidden) && !allTools) menu->menuAction()->setVisible(false);
        menus_.insert(QString::fromLatin1(m.id), menu);
        if (QString::fromLatin1(m.id) == QLatin1String("FormObjMenu")) {
            // "Добавить" stands in the menu bar while objects are collected.
            QAction* add = window->menuBar()->addAction(QStringLiteral("Добавить"));
            add->setObjectName(QStringLiteral("Add1"));
            add->setVisible(allTools);
            add->setEnabled(false);
            actions_.insert(add->objectName(), add);
        }
    }
    for (const EntryDef& e : kEntries) {
        if (QString::fromLatin1(e.id) == QLatin1String("-")) {
            menus_.value(QString::fromLatin1(e.menu))->addSeparator();
            continue;
        }
        // A submenu takes its place among the items of its menu.
        if (QMenu* sub = menus_.value(QString::fromLatin1(e.id)); sub && e.menu) {
            QMenu* parent = menus_.value(QString::fromLatin1(e.menu));
            parent->removeAction(sub->menuAction());
            parent->addAction(sub->menuAction());
            continue;
        }
        auto* a = new QAction(QString::fromUtf8(e.caption), window);
        a->setObjectName(QString::fromLatin1(e.id));
        if (e.hint) {
            a->setToolTip(QString::fromUtf8(e.hint));
            a->setStatusTip(QString::fromUtf8(e.hint));
        }
        a->setCheckable(e.flags & Checkable);
        a->setChecked(e.flags & Checked);
        if (e.shortcut) a->setShortcut(QKeySequence(QString::fromLatin1(e.shortcut)));
        a->setVisible(!(e.flags & Hidden) || allTools);
        // Not available until its operation is wired.
        a->setEnabled(false);
        if (e.menu) menus_.value(QString::fromLatin1(e.menu))->addAction(a);
        actions_.insert(a->objectName(), a);
    }
    for (const Glyph& g : kGlyphs)
        if (QAction* a = action(QString::fromLatin1(g.id))) a->setIcon(glyphIcon(QString::fromUtf8(g.text), QColor(g.color)));
    for (const char* id : kToolbar) {
        if (QString::fromLatin1(id) == QLatin1String("-")) {
            toolbar->addSeparator();
            continue;
        }
        toolbar->addAction(action(QString::fromLatin1(id)));
    }
}

void ActionTable::wire(const char* id, const std::function<void()>& handler) {
    QAction* a = (*this)[id];
    Q_ASSERT(a);
    if (!a) return;
    a->setEnabled(true);
    wired_.insert(a->objectName());
    QObject::connect(a, &QAction::triggered, a, [this, handler] {
        if (beforeEach) beforeEach();
        handler();
        if (afterEach) afterEach();
    });
}

void ActionTable::setAvailable(const char* id, bool enabled) {
    QAction* a = (*this)[id];
    if (!a) return;
    a->setEnabled(enabled && wired_.contains(a->objectName()));
}

}  // namespace dm
