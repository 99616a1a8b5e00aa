; Keeps the processor busy and rewrites text and graphics all the time:
; every character cell is read and rewritten in turn, and so is every byte
; of the graphics window, so that each frame has rows to draw.
; (Z80 mnemonics, 8080 instructions only.)
        org 0
        di
        ld sp, 0B000h
        ld a, 20h       ; configuration 8: graphics window at C000h
        ld (3A7Fh), a
        ld a, 8Eh       ; direct mode, colour 7
        ld (3ABFh), a
        ld hl, 3C00h    ; character memory
        ld de, 0C000h   ; graphics window
loop:   inc (hl)
        inc hl
        ld a, h
        cp 40h
        jp nz, gfx
        ld hl, 3C00h
gfx:    ld a, (de)
        cpl
        ld (de), a
        inc de
        ld a, d
        or a
        jp nz, loop
        ld d, 0C0h
        jp loop
