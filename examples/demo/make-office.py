#!/usr/bin/python3
"""Writes the demo's office directories into office/in/, the input folder of the demo's local
folder channel: the goods directory Tovar.tvr, the receipt document Prihod.prh and the weight
codes Vescod.wgt. Windows-1251 text, fields separated by ";", lines ending in CR LF, in the
layouts of the TVR, PRH and WGT tables of OrtSystem.ini.

Deterministic: barcodes and prices come from a hash of the goods name, so running it again
writes the same bytes. Run from anywhere: /usr/bin/python3 examples/demo/make-office.py
"""

import hashlib
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "office", "in")

NAME_MAX = 30  # NAME,TEXT,...,30

# Piece goods: a name pattern, the makers or kinds put into it, and a price range in roubles.
PIECE = [
    ("Молоко {} 3,2% 1л", ["Простоквашино", "Домик в дер.", "Вес.молочник", "Село Зелёное", "Вкуснотеево"], 79, 115),
    ("Молоко {} 2,5% 0,9л", ["Простоквашино", "Домик в дер.", "Parmalat", "Савушкин"], 69, 99),
    ("Кефир {} 2,5% 930г", ["Простоквашино", "Домик в дер.", "Био Баланс", "Савушкин"], 79, 109),
    ("Сметана {} 20% 300г", ["Простоквашино", "Домик в дер.", "Экомилк", "Савушкин"], 89, 149),
    ("Творог {} 9% 200г", ["Простоквашино", "Домик в деревне", "Савушкин", "Вкуснотеево"], 99, 159),
    ("Йогурт {} 290г", ["Активиа клубника", "Чудо персик", "Эрмигурт вишня", "Савушкин черника"], 59, 95),
    ("Масло слив. {} 180г", ["Экомилк 82,5%", "Вкуснотеево", "Брест-Литовск", "Простоквашино"], 169, 289),
    ("Сырок глазир. {} 40г", ["Александров", "Ростагро", "Свитлогорье"], 39, 69),
    ("Сыр плавленый {} 90г", ["Дружба", "Hochland", "Янтарь", "Виола"], 45, 119),
    ("Хлеб {}", ["Бородинский 400г", "Дарницкий 700г", "Столичный 750г", "Украинский 600г", "Зерновой 300г"], 39, 79),
    ("Батон {}", ["Нарезной 400г", "Подмосковный 400г", "с изюмом 350г", "Отрубной 300г"], 39, 69),
    ("Яйцо куриное {}", ["С0 10шт", "С1 10шт", "С2 10шт", "С1 20шт", "Д0 10шт"], 89, 219),
    ("Гречка {} 800г", ["Мистраль", "Увелка", "Националь", "Ярмарка"], 79, 139),
    ("Рис {} 900г", ["Мистраль жасмин", "Увелка круглый", "Националь басмати", "Ярмарка длинный"], 89, 189),
    ("Макароны {} 450г", ["Barilla спагетти", "Макфа перья", "Шебекинские", "Maltagliati"], 59, 149),
    ("Мука {} 2кг", ["Макфа пшеничная", "Увелка пшеничная", "Русская пшеничная", "Аладушкин"], 79, 129),
    ("Сахар-песок {}", ["1кг", "Русский 1кг", "Чайкофский 1кг"], 69, 99),
    ("Соль {} 1кг", ["Экстра", "поваренная", "йодированная"], 19, 39),
    ("Масло подс. {}", ["Золотая семечка 1л", "Олейна 1л", "Слобода 1л", "Кубанская 0,9л"], 109, 169),
    ("Масло олив. {} 0,5л", ["Borges", "Filippo Berio", "Iberica"], 449, 799),
    ("Майонез {} 400мл", ["Слобода", "Махеевъ", "Calve", "Ряба"], 79, 139),
    ("Кетчуп {} 350г", ["Heinz томатный", "Махеевъ", "Балтимор", "Calve"], 69, 149),
    ("Чай {} 25пак", ["Greenfield", "Lipton", "Ahmad", "Tess", "Принцесса Нури", "Майский"], 59, 179),
    ("Чай листовой {} 100г", ["Greenfield", "Ahmad", "Майский", "Curtis"], 99, 219),
    ("Кофе молотый {} 250г", ["Jardin", "Lavazza", "Жокей", "Paulig"], 249, 599),
    ("Кофе раств. {} 95г", ["Nescafe Gold", "Jacobs Monarch", "Egoiste", "Черная карта"], 299, 649),
    ("Какао {} 100г", ["Золотой ярлык", "Nesquik", "Красный Октябрь"], 79, 189),
    ("Шоколад {} 90г", ["Аленка", "Россия Щедрая душа", "Бабаевский", "Alpen Gold", "Ritter Sport", "Коркунов"], 69, 169),
    ("Конфеты {} 200г", ["Мишка косолапый", "Красная шапочка", "Белочка", "Коркунов", "Рафаэлло"], 149, 399),
    ("Печенье {}", ["Юбилейное 112г", "Мария 180г", "Овсяное 300г", "Причуда 150г", "Посиделкино 320г"], 39, 149),
    ("Вафли {} 200г", ["Яшкино", "Коломенские", "Акульчев", "Рот Фронт"], 49, 119),
    ("Сок {} 1л", ["Добрый яблочный", "Я апельсиновый", "Rich вишневый", "J7 мультифрукт", "Сады Придонья"], 99, 179),
    ("Вода {} 1,5л", ["Святой источник", "Aqua Minerale", "BonAqua", "Архыз", "Ессентуки 17"], 39, 99),
    ("Напиток {} 1,5л", ["Coca-Cola", "Добрый Кола", "Fanta", "Sprite", "Буратино"], 79, 169),
    ("Квас {} 1,5л", ["Очаковский", "Никола", "Хлебный край", "Русский дар"], 69, 129),
    ("Пиво {} 0,5л", ["Жигулевское", "Балтика 3", "Балтика 7", "Хамовники", "Старый мельник"], 59, 129),
    ("Консервы {}", ["Сайра Доброфлот 250г", "Шпроты Вкусные 160г", "Тунец Магуро 185г", "Горбуша 245г"], 99, 229),
    ("Тушенка {} 325г", ["Главпродукт", "Гродфуд", "Березовский", "Совок"], 159, 289),
    ("Горошек {} 400г", ["Bonduelle", "Глобус", "Дядя Ваня", "6 соток"], 69, 129),
    ("Кукуруза {} 340г", ["Bonduelle", "Глобус", "Фрау Марта"], 79, 139),
    ("Огурцы марин. {} 680г", ["Дядя Ваня", "Самобранка", "Кубаночка"], 119, 199),
    ("Пельмени {} 800г", ["Сиб.коллекция", "Мираторг", "Цезарь", "Останкино"], 229, 459),
    ("Вареники {} 900г", ["с картофелем", "с творогом", "с вишней"], 159, 259),
    ("Мороженое {}", ["Пломбир 48 коп. 90г", "Эскимо 70г", "Сливочное 80г", "Рожок 70г"], 49, 119),
    ("Сосиски {} 450г", ["Папа Может", "Останкино", "Клинские", "Вязанка"], 149, 299),
    ("Колбаса {} 350г", ["Докторская", "Сервелат Финский", "Краковская", "Московская"], 229, 459),
    ("Бумага туал. {}", ["Zewa 4шт", "Папия 4шт", "Kleenex 4шт", "Мягкий знак 8шт"], 99, 299),
    ("Ср-во д/посуды {}", ["Fairy 450мл", "AOS 450мл", "Миф 500мл"], 99, 219),
    ("Порошок стиральный {}", ["Tide 3кг", "Ariel 3кг", "Миф 2кг", "Персил 3кг"], 399, 899),
    ("Зуб.паста {} 100мл", ["Colgate", "Splat", "Новый жемчуг", "Лесной бальзам"], 79, 229),
    ("Шампунь {} 400мл", ["Head&Shoulders", "Pantene", "Clear", "Чистая линия"], 179, 449),
    ("Мыло {} 90г", ["Dove", "Palmolive", "Детское", "Хозяйственное 72%"], 39, 129),
    ("Корм для кошек {} 85г", ["Whiskas", "Felix", "Kitekat", "Sheba"], 29, 69),
    ("Спички {}", ["10 коробков", "каминные"], 29, 89),
    ("Сыр {} 200г", ["Ламбер", "Брест-Литовск", "Киприно", "Красногорье"], 189, 349),
    ("Горчица {} 140г", ["Русская", "Махеевъ", "Heinz"], 39, 99),
    ("Крупа {} 800г", ["овсяная Геркулес", "пшено Увелка", "манка Мистраль", "перловка Ярмарка"], 49, 119),
    ("Хлопья {}", ["Nesquik 375г", "Fitness 410г", "Kellogg's 300г"], 149, 299),
    ("Сухарики {} 40г", ["Кириешки", "3 корочки", "Хрусteam"], 25, 49),
    ("Чипсы {} 150г", ["Lay's", "Pringles", "Моск.картофель", "Estrella"], 119, 249),
    ("Семечки {} 200г", ["Бабкины", "От Мартина", "Джин"], 69, 129),
    ("Орехи {}", ["арахис 200г", "фисташки 150г", "миндаль 150г", "кешью 150г"], 99, 399),
    ("Ветчина {} 400г", ["Папа Может", "Черкизово", "Останкино"], 249, 399),
    ("Фарш {} 400г", ["говяжий Мираторг", "куриный Петелинка", "домашний"], 229, 399),
    ("Кура тушка {}", ["Петелинка 1,5кг", "Приосколье 1,6кг"], 329, 459),
    ("Рыба {}", ["минтай с/м 1кг", "скумбрия х/к 300г", "сельдь с/с 400г"], 189, 379),
    ("Сгущенка {} 380г", ["Рогачев", "Алексеевское", "Главпродукт"], 99, 149),
    ("Мед {} 250г", ["цветочный", "гречишный", "липовый"], 199, 349),
    ("Варенье {} 370г", ["клубничное", "вишневое", "малиновое"], 149, 229),
    ("Салфетки {}", ["бумажные 100шт", "влажные 72шт"], 39, 149),
    ("Пакеты д/мусора {}", ["30л 20шт", "60л 20шт", "120л 10шт"], 59, 179),
    ("Батарейки {}", ["Duracell AA 4шт", "Energizer AAA 4шт", "GP AA 4шт"], 199, 449),
]

# Weighed goods, sold by the kilogramme: code, name, price of a kilogramme, book rest in kg.
# Codes 024680 to 024695 are the goods codes that scale labels with prefix 23 (and 21) carry.
WEIGHED = [
    ("024680", "Картофель мытый, вес.", "49.90", "412.350"),
    ("024681", "Морковь мытая, вес.", "59.90", "38.200"),
    ("024682", "Лук репчатый, вес.", "44.90", "41.800"),
    ("024683", "Капуста белокочанная, вес.", "34.90", "55.400"),
    ("024684", "Огурцы среднеплодные, вес.", "149.90", "17.650"),
    ("024685", "Томаты розовые, вес.", "279.90", "12.300"),
    ("024686", "Яблоки Голден, вес.", "139.90", "26.750"),
    ("024687", "Бананы, вес.", "119.90", "31.100"),
    ("024688", "Апельсины, вес.", "149.90", "22.480"),
    ("024689", "Сыр Российский, вес.", "749.00", "8.215"),
    ("024690", "Сыр Гауда, вес.", "899.00", "6.430"),
    ("024691", "Свинина шейка охл., вес.", "529.00", "14.870"),
    ("024692", "Говядина лопатка охл., вес.", "699.00", "9.960"),
    ("024693", "Филе куриное охл., вес.", "399.00", "18.340"),
    ("024694", "Конфеты Ромашка, вес.", "589.00", "5.120"),
    ("024695", "Пряники Тульские, вес.", "259.00", "7.800"),
]

# Weighed goods whose scale labels carry the goods barcode (prefix 22): the barcode with the
# weight and the check digit zeroed, as the layout 7A5WZ1SZ rebuilds it.
WEIGHED_BY_BARCODE = [
    ("024700", "2204680000000", "Колбаса Докторская, вес.", "629.00", "21.360"),
]

# The weight-code directory: length, prefix, layout, scale.
WEIGHT_CODES = [
    ("13", "23", "2S6A4W1S", "0"),  # 23 CCCCCC WWWW K: code and weight in grams
    ("13", "22", "7A5WZ1SZ", "0"),  # 22 BBBBB WWWWW K: barcode and weight in grams
    ("13", "21", "2S6A1S3W1S", "3"),  # 21 CCCCCC x WWW K: code and weight in kilogrammes
]


def ean13_check(first12):
    total = sum(int(d) * (3 if i % 2 else 1) for i, d in enumerate(first12))
    return str((10 - total % 10) % 10)


def digest(text, salt=0):
    return int.from_bytes(hashlib.sha256(("%s#%d" % (text, salt)).encode("utf-8")).digest()[:8], "big")


def barcode(name, taken):
    """A Russian EAN-13 (prefixes 460-469) with a valid check digit, unique in the directory."""
    salt = 0
    while True:
        n = digest(name, salt)
        first12 = "46" + "%010d" % (n % 10**10)
        code = first12 + ean13_check(first12)
        if code not in taken:
            taken.add(code)
            return code
        salt += 1


def price(name, low, high):
    """A shelf price between low and high roubles ending in .90, .99 or .00."""
    n = digest(name, 1000)
    roubles = low + n % (high - low + 1)
    kopecks = ("90", "99", "00")[(n >> 20) % 3]
    return "%d.%s" % (roubles, kopecks)


def book_rest(name):
    return str(digest(name, 2000) % 48 + 2)


def goods():
    rows = []
    taken = set()
    number = 100001
    for pattern, kinds, low, high in PIECE:
        for kind in kinds:
            name = pattern.format(kind)
            if len(name) > NAME_MAX:
                raise SystemExit("name over %d characters: %s" % (NAME_MAX, name))
            rows.append(("%06d" % number, barcode(name, taken), name, price(name, low, high), book_rest(name)))
            number += 1
    for code, name, kg_price, rest in WEIGHED:
        # The shop's own barcode of the item: prefix 23, the code, weight 0000, check digit.
        first12 = "23" + code + "0000"
        rows.append((code, first12 + ean13_check(first12), name, kg_price, rest))
    for code, bar, name, kg_price, rest in WEIGHED_BY_BARCODE:
        assert ean13_check(bar[:12]) == bar[12]
        rows.append((code, bar, name, kg_price, rest))
    return rows


def receipt(rows):
    """A delivery: every ninth piece item and two weighed ones, in whole packs."""
    lines = []
    for i, (code, bar, name, shelf_price, _) in enumerate(rows):
        weighed = code.startswith("0")
        if (not weighed and i % 9 == 4) or code in ("024689", "024700"):
            quantity = "%d.%03d" % (digest(name, 3000) % 9 + 1, digest(name, 3001) % 1000) if weighed \
                else str((digest(name, 3000) % 5 + 1) * 6)
            lines.append((code, bar, name, shelf_price, quantity))
    return lines


def write(name, rows):
    text = "".join(";".join(row) + "\r\n" for row in rows)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(text.encode("cp1251"))


def main():
    os.makedirs(OUT, exist_ok=True)
    rows = goods()
    write("Tovar.tvr", rows)
    write("Prihod.prh", receipt(rows))
    write("Vescod.wgt", WEIGHT_CODES)


if __name__ == "__main__":
    main()
