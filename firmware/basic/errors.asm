; Error messages: the number, then the text (KOI-8).
ERRTAB:
        ; 1 "NEXT без FOR"
        DB 1,04Eh,045h,058h,054h,020h,0C2h,0C5h,0DAh,020h,046h,04Fh,052h,0
        ; 2 "синтаксическая ошибка"
        DB 2,0D3h,0C9h,0CEh,0D4h,0C1h,0CBh,0D3h,0C9h,0DEh,0C5h,0D3h,0CBh,0C1h,0D1h,020h,0CFh,0DBh,0C9h,0C2h,0CBh,0C1h,0
        ; 3 "RETURN без GOSUB"
        DB 3,052h,045h,054h,055h,052h,04Eh,020h,0C2h,0C5h,0DAh,020h,047h,04Fh,053h,055h,042h,0
        ; 4 "нет данных"
        DB 4,0CEh,0C5h,0D4h,020h,0C4h,0C1h,0CEh,0CEh,0D9h,0C8h,0
        ; 5 "неверный вызов функции"
        DB 5,0CEh,0C5h,0D7h,0C5h,0D2h,0CEh,0D9h,0CAh,020h,0D7h,0D9h,0DAh,0CFh,0D7h,020h,0C6h,0D5h,0CEh,0CBh,0C3h,0C9h,0C9h,0
        ; 6 "переполнение"
        DB 6,0D0h,0C5h,0D2h,0C5h,0D0h,0CFh,0CCh,0CEh,0C5h,0CEh,0C9h,0C5h,0
        ; 7 "не хватает памяти"
        DB 7,0CEh,0C5h,020h,0C8h,0D7h,0C1h,0D4h,0C1h,0C5h,0D4h,020h,0D0h,0C1h,0CDh,0D1h,0D4h,0C9h,0
        ; 8 "нет такой строки"
        DB 8,0CEh,0C5h,0D4h,020h,0D4h,0C1h,0CBh,0CFh,0CAh,020h,0D3h,0D4h,0D2h,0CFh,0CBh,0C9h,0
        ; 9 "индекс вне диапазона"
        DB 9,0C9h,0CEh,0C4h,0C5h,0CBh,0D3h,020h,0D7h,0CEh,0C5h,020h,0C4h,0C9h,0C1h,0D0h,0C1h,0DAh,0CFh,0CEh,0C1h,0
        ; 10 "массив уже объявлен"
        DB 10,0CDh,0C1h,0D3h,0D3h,0C9h,0D7h,020h,0D5h,0D6h,0C5h,020h,0CFh,0C2h,0DFh,0D1h,0D7h,0CCh,0C5h,0CEh,0
        ; 11 "деление на ноль"
        DB 11,0C4h,0C5h,0CCh,0C5h,0CEh,0C9h,0C5h,020h,0CEh,0C1h,020h,0CEh,0CFh,0CCh,0D8h,0
        ; 12 "не в прямом режиме"
        DB 12,0CEh,0C5h,020h,0D7h,020h,0D0h,0D2h,0D1h,0CDh,0CFh,0CDh,020h,0D2h,0C5h,0D6h,0C9h,0CDh,0C5h,0
        ; 13 "несоответствие типов"
        DB 13,0CEh,0C5h,0D3h,0CFh,0CFh,0D4h,0D7h,0C5h,0D4h,0D3h,0D4h,0D7h,0C9h,0C5h,020h,0D4h,0C9h,0D0h,0CFh,0D7h,0
        ; 14 "нет места для строк"
        DB 14,0CEh,0C5h,0D4h,020h,0CDh,0C5h,0D3h,0D4h,0C1h,020h,0C4h,0CCh,0D1h,020h,0D3h,0D4h,0D2h,0CFh,0CBh,0
        ; 15 "длинная строка"
        DB 15,0C4h,0CCh,0C9h,0CEh,0CEh,0C1h,0D1h,020h,0D3h,0D4h,0D2h,0CFh,0CBh,0C1h,0
        ; 16 "сложное выражение"
        DB 16,0D3h,0CCh,0CFh,0D6h,0CEh,0CFh,0C5h,020h,0D7h,0D9h,0D2h,0C1h,0D6h,0C5h,0CEh,0C9h,0C5h,0
        ; 17 "продолжать нельзя"
        DB 17,0D0h,0D2h,0CFh,0C4h,0CFh,0CCh,0D6h,0C1h,0D4h,0D8h,020h,0CEh,0C5h,0CCh,0D8h,0DAh,0D1h,0
        ; 18 "нет функции"
        DB 18,0CEh,0C5h,0D4h,020h,0C6h,0D5h,0CEh,0CBh,0C3h,0C9h,0C9h,0
        ; 20 "RESUME без ошибки"
        DB 20,052h,045h,053h,055h,04Dh,045h,020h,0C2h,0C5h,0DAh,020h,0CFh,0DBh,0C9h,0C2h,0CBh,0C9h,0
        ; 22 "нет операнда"
        DB 22,0CEh,0C5h,0D4h,020h,0CFh,0D0h,0C5h,0D2h,0C1h,0CEh,0C4h,0C1h,0
        ; 26 "FOR без NEXT"
        DB 26,046h,04Fh,052h,020h,0C2h,0C5h,0DAh,020h,04Eh,045h,058h,054h,0
        ; 29 "WHILE без WEND"
        DB 29,057h,048h,049h,04Ch,045h,020h,0C2h,0C5h,0DAh,020h,057h,045h,04Eh,044h,0
        ; 30 "WEND без WHILE"
        DB 30,057h,045h,04Eh,044h,020h,0C2h,0C5h,0DAh,020h,057h,048h,049h,04Ch,045h,0
        DB 0
        ; "неизвестная ошибка"
        DB 0CEh,0C5h,0C9h,0DAh,0D7h,0C5h,0D3h,0D4h,0CEh,0C1h,0D1h,020h,0CFh,0DBh,0C9h,0C2h,0CBh,0C1h,0
