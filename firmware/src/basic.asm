; The BASIC interpreter in 2000h-5FFFh of the 24 KB images (the "+BAS"
; sets). It runs in configuration 16 (ROM 0000h-5FFFh, devices at F800h)
; and reaches the console of the core through a bridge below 3800h; the
; sources are in firmware/basic.
        INCLUDE ../basic/main.asm
        INCLUDE ../basic/token.asm
        INCLUDE ../basic/stmt.asm
        INCLUDE ../basic/expr.asm
        INCLUDE ../basic/func.asm
        INCLUDE ../basic/math.asm
        INCLUDE ../basic/graph.asm
        INCLUDE ../basic/using.asm
        INCLUDE ../basic/string.asm
        INCLUDE ../basic/float.asm
        INCLUDE ../basic/errors.asm
BASEND:
        IF BASEND GT 6000h
        .ERROR "BASIC does not fit into 2000h-5FFFh"
        ENDIF
