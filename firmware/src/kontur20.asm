; "Контур 2.0": 8,192 bytes, the core alone.
ROMSET  EQU 2
HASBAS  EQU 0
        INCLUDE core.asm
        END
