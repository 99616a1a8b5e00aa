; Text and graphics in several configurations, palettes and pages.
; The test mirrors every write below in its own model of the screen.
; (Z80 mnemonics, 8080 instructions only.)
SYSREG0 equ 3B3Ah       ; system register, configurations 0 and 8
CONFIG0 equ 3A7Fh       ; configuration register, configurations 0 and 8
COLOUR0 equ 3ABFh       ; colour register, configuration 8
PALET0  equ 3AFBh       ; palette register, configuration 0
COLOUR12 equ 0FFBFh     ; colour register, configuration 12
SYSREG12 equ 0FE3Ah     ; system register, configuration 12

        org 0
        di
        ld sp, 0B000h
        ; Text. Attribute latch on (bits 5-4 = 01): inverse cells.
        ld a, 10h
        ld (SYSREG0), a
        ld hl, 3C00h    ; row 0, columns 0 and 1
        ld (hl), 1
        inc hl
        ld (hl), 2
        ld a, 20h       ; attribute latch off (bits 5-4 = 10)
        ld (SYSREG0), a
        ld hl, 3C85h    ; row 2, column 5
        ld (hl), 41h
        ld hl, 3FFFh    ; row 15, column 63
        ld (hl), 0FFh
        ; Palette: text pixels red (register 8 = colour 4), graphics
        ; colour 1 shown as colour 10.
        ld a, 48h
        ld (PALET0), a
        ld a, 0A1h
        ld (PALET0), a
        ; Configuration 8: graphics window at C000h.
        ld a, 20h
        ld (CONFIG0), a
        ld a, 8Ah       ; direct mode, colour 5
        ld (COLOUR0), a
        ld a, 0F0h      ; row 10, pixels 24-27
        ld (0C283h), a
        ld a, 82h       ; direct mode, colour 1
        ld (COLOUR0), a
        ld a, 81h       ; row 20, pixels 0 and 7
        ld (0C500h), a
        ; The processor now reaches page 2 (bits 7-6), page 0 stays shown.
        ld a, 80h
        ld (SYSREG0), a
        ld a, 8Eh       ; direct mode, colour 7
        ld (COLOUR0), a
        ld a, 0FFh      ; row 100, pixels 80-87
        ld (0D90Ah), a
        ; Configuration 12: graphics window at 4000h, registers at FExx/FFxx.
        ld a, 30h
        ld (CONFIG0), a
        ld a, 86h       ; direct mode, colour 3
        ld (COLOUR12), a
        ld a, 0FFh      ; row 50, pixels 0-7 of page 2
        ld (4C80h), a
        ; Let a few frames show page 0, then show page 2.
        ld bc, 5000
delay:  dec bc
        ld a, b
        or c
        jp nz, delay
        ld a, 82h
        ld (SYSREG12), a
done:   halt
        jp done
