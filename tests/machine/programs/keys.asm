; Keyboard echo: every time the keys of rows 0-6 change to a new non-zero
; state, the state byte is plotted into the next byte of graphics row 0.
; (Z80 mnemonics, 8080 instructions only.)
        org 0
        di
        ld sp, 0B000h
        ld a, 20h       ; configuration 8: graphics window at C000h
        ld (3A7Fh), a
        ld a, 8Eh       ; direct mode, colour 7
        ld (3ABFh), a
        ld hl, 0C000h
        ld b, 0         ; the last state seen
poll:   ld a, (387Fh)   ; rows 0-6 of the matrix
        cp b
        jp z, poll
        ld b, a
        or a
        jp z, poll
        ld (hl), a
        inc hl
        jp poll
