; Velgard BASIC: PRINT USING.
;
; The format is copied to INBUF (it may be a string that moves); items are
; printed through its fields in turn, starting again at its beginning when
; there are more items than fields. Fields: ! (first character), \  \
; (as many characters as the field is wide), & (the whole string); for
; numbers # digits, . the point, , thousands, + sign in front or behind,
; - minus behind, ** filled with stars, $$ a dollar in front, **$ both.
; _ prints the next character as it is; anything else is printed.

UFMT    EQU INBUF           ; the format (up to 127 characters)
UOUT    EQU INBUF+128       ; a number being laid out
UPOS    EQU 66B0h           ; index into the format
UFOUND  EQU 66B1h           ; the format was begun again for this item
UFPLUS   EQU 66B2h           ; numeric field: + in front
UFILL   EQU 66B3h           ; ' ' or '*'
UDOLL   EQU 66B4h           ; $
UIPOS   EQU 66B5h           ; places before the point
UDEC    EQU 66B6h           ; places after it, FFh without a point
UCOMMA  EQU 66B7h
UTRAIL  EQU 66B8h           ; 0, '+' or '-'
UFNEG    EQU 66B9h
UDIG    EQU 66BAh           ; '0' and the 7 digits (8 bytes)
UPP     EQU 66C2h           ; digits before the point in UDIG
USLEN   EQU 66C3h           ; string field length, 0 = whole string

PUSING: CALL CHRGET
        CALL EXPR
        CALL FRESTR
        CP 128
        JP NC,FCERR
        LD (USELEN),A
        LD HL,UFMT
        OR A
        JP Z,FCERR
        LD B,A
PUS1:   LD A,(DE)
        LD (HL),A
        INC HL
        INC DE
        DEC B
        JP NZ,PUS1
        CALL EXPECT
        DB ';'
        XOR A
        LD (UPOS),A
PUS2:   CALL UFIELD             ; up to the next field
        PUSH BC
        CALL EXPR
        POP BC
        LD A,(VALTYP)
        OR A
        JP NZ,PUS3
        LD A,B
        CP 'N'
        JP NZ,TMERR
        CALL UNUM
        JP PUS4
PUS3:   LD A,B
        CP 'S'
        JP NZ,TMERR
        CALL USTR
PUS4:   CALL CHRGOT
        JP Z,PUS6
        CP ';'
        JP Z,PUS5
        CP ','
        JP NZ,PUS2
PUS5:   CALL CHRGET
        JP NZ,PUS2
        JP ULIT                 ; ends with ; or ,: literals, no new line
PUS6:   CALL ULIT
        JP CRLFO

; The character at UPOS in HL, A; Z at the end of the format.
UCHAR:  LD A,(UPOS)
        LD HL,USELEN
        CP (HL)
        RET Z
        LD E,A
        LD D,0
        LD HL,UFMT
        ADD HL,DE
        LD A,(HL)
        LD E,A
        OR 1                    ; NZ, no carry
        LD A,E
        RET

UNEXT:  LD HL,UPOS
        INC (HL)
        RET

; ULIT: prints the literal text up to the next field or the end.
ULIT:   CALL UATFLD
        RET NC
        CALL UCHAR
        CP '_'
        JP NZ,ULIT1
        CALL UNEXT
        CALL UCHAR
        JP Z,ULIT
ULIT1:  CALL OUTC
        CALL UNEXT
        JP ULIT

; UFIELD: literals, then the field: B = 'N' or 'S' with its description.
; At the end of the format it goes round again (an error if it has no
; field at all).
UFIELD: XOR A
        LD (UFOUND),A
UFL1:   CALL ULIT
        CALL UCHAR
        JP NZ,UFL2
        LD A,(UFOUND)           ; the end: round again, once
        OR A
        JP NZ,FCERR
        INC A
        LD (UFOUND),A
        XOR A
        LD (UPOS),A
        JP UFL1
UFL2:   CALL UCHAR
        CP '!'
        JP NZ,UFL3
        CALL UNEXT
        LD A,1
UFLS:   LD (USLEN),A
        LD B,'S'
        RET
UFL3:   CP '&'
        JP NZ,UFL4
        CALL UNEXT
        XOR A
        JP UFLS
UFL4:   CP '\'
        JP NZ,UNUMF
        LD C,1
UFL5:   CALL UNEXT
        INC C
        CALL UCHAR
        CP ' '
        JP Z,UFL5
        CALL UNEXT              ; the closing \
        LD A,C
        JP UFLS

; UATFLD: carry clear when a field starts here or the format ends, carry
; set for a character to print.
UATFLD: CALL UCHAR
        RET Z                   ; end (carry clear from the compare)
        CP '!'
        RET Z
        CP '&'
        RET Z
        CP '#'
        RET Z
        CP '\'
        JP Z,UAT2
        LD B,A
        INC HL
        LD A,(UPOS)
        INC A
        PUSH HL
        LD HL,USELEN
        CP (HL)
        POP HL
        LD C,0
        JP Z,UAT1
        LD C,(HL)               ; the next character
UAT1:   LD A,B
        CP '+'
        JP Z,UAT3
        CP '.'
        JP Z,UAT4
        CP '*'
        JP Z,UAT5
        CP '$'
        JP Z,UAT6
        SCF
        RET
UAT3:   LD A,C                  ; + before # or .
        CP '#'
        RET Z
        CP '.'
        RET Z
        SCF
        RET
UAT4:   LD A,C
        CP '#'
        RET Z
        SCF
        RET
UAT5:   LD A,C
        CP '*'
        RET Z
        SCF
        RET
UAT6:   LD A,C
        CP '$'
        RET Z
        SCF
        RET
UAT2:   PUSH HL                 ; \ ... \ with blanks only between
UAT7:   INC HL
        LD A,L
        SUB UFMT AND 0FFh
        LD B,A
        LD A,(USELEN)
        CP B
        JP Z,UAT8
        JP C,UAT8
        LD A,(HL)
        CP ' '
        JP Z,UAT7
        CP '\'
        POP HL
        RET Z
        SCF
        RET
UAT8:   POP HL
        SCF
        RET

; A numeric field at UPOS.
UNUMF:  XOR A
        LD (UFPLUS),A
        LD (UDOLL),A
        LD (UIPOS),A
        LD (UCOMMA),A
        LD (UTRAIL),A
        DEC A
        LD (UDEC),A
        LD A,' '
        LD (UFILL),A
        CALL UCHAR
        CP '+'
        JP NZ,UNF1
        LD A,1
        LD (UFPLUS),A
        LD (UIPOS),A            ; the sign has its place
        CALL UNEXT
        CALL UCHAR
UNF1:   CP '*'
        JP NZ,UNF2
        LD A,'*'
        LD (UFILL),A
        LD HL,UIPOS
        INC (HL)
        INC (HL)
        CALL UNEXT
        CALL UNEXT
        CALL UCHAR
        CP '$'
        JP NZ,UNF3
        LD A,1
        LD (UDOLL),A
        LD HL,UIPOS
        INC (HL)
        CALL UNEXT
        JP UNF3
UNF2:   CP '$'
        JP NZ,UNF3
        LD A,1
        LD (UDOLL),A
        LD HL,UIPOS
        INC (HL)
        INC (HL)
        CALL UNEXT
        CALL UNEXT
UNF3:   CALL UCHAR              ; # and , before the point
        JP Z,UNF6
        CP ','
        JP NZ,UNF4
        LD A,1
        LD (UCOMMA),A
        JP UNF5
UNF4:   CP '#'
        JP NZ,UNF6
UNF5:   LD HL,UIPOS
        INC (HL)
        CALL UNEXT
        JP UNF3
UNF6:   CP '.'
        JP NZ,UNF8
        XOR A
        LD (UDEC),A
        CALL UNEXT
UNF7:   CALL UCHAR
        JP Z,UNF8
        CP '#'
        JP NZ,UNF8
        LD HL,UDEC
        INC (HL)
        CALL UNEXT
        JP UNF7
UNF8:   LD A,(UFPLUS)
        OR A
        JP NZ,UNF9
        CALL UCHAR
        JP Z,UNF9
        CP '+'
        JP Z,UNF8A
        CP '-'
        JP NZ,UNF9
UNF8A:  LD (UTRAIL),A
        CALL UNEXT
UNF9:   LD B,'N'
        RET

; A string for a string field.
USTR:   CALL FRESTR
        LD C,A                  ; length
        LD A,(USLEN)
        OR A
        JP NZ,UST1
        LD A,C                  ; &: all of it
        JP PRTDE
UST1:   LD B,A                  ; B places
UST2:   LD A,C
        OR A
        LD A,' '
        JP Z,UST3
        LD A,(DE)
        INC DE
        DEC C
UST3:   CALL OUTC
        DEC B
        JP NZ,UST2
        RET

; A number in FAC for the numeric field.
UNUM:   LD A,(FAC+2)
        AND 80h
        LD (UFNEG),A
        CALL FABS
        LD HL,UDIG              ; '0' and the seven digits
        LD B,8
UNM1:   LD (HL),'0'
        INC HL
        DEC B
        JP NZ,UNM1
        LD A,1
        LD (UPP),A
        LD A,(FAC+3)
        OR A
        JP Z,UNM3
        CALL FOUT               ; DIGITS and T1
        LD HL,DIGITS
        LD DE,UDIG+1
        LD B,7
UNM2:   LD A,(HL)
        LD (DE),A
        INC HL
        INC DE
        DEC B
        JP NZ,UNM2
        LD A,(T1)
        ADD A,2
        LD (UPP),A              ; P + 1 (the leading 0)
UNM3:   ; rounding at index UPP + decimals
        LD A,(UDEC)
        OR A
        JP P,UNM4
        XOR A
UNM4:   LD B,A                  ; B = decimals shown
        LD A,(UPP)
        ADD A,B
        JP M,UNMZ               ; everything below the last place: 0
        CP 8
        JP NC,UNM7              ; all digits are kept
        LD C,A                  ; cut
        LD E,A
        LD D,0
        LD HL,UDIG
        ADD HL,DE
        LD A,(HL)
        PUSH AF
UNM5:   LD A,E                  ; the dropped digits become 0
        CP 8
        JP NC,UNM5A
        LD (HL),'0'
        INC HL
        INC E
        JP UNM5
UNM5A:  POP AF
        CP '5'
        JP C,UNM7
        LD A,C                  ; round up from index cut - 1
        OR A
        JP Z,UNMONE
        LD E,C
        LD D,0
        LD HL,UDIG-1
        ADD HL,DE
UNM6:   LD A,(HL)
        INC A
        LD (HL),A
        CP '9'+1
        JP NZ,UNM7
        LD (HL),'0'
        DEC HL
        JP UNM6                 ; (UDIG[0] = '0' stops the carry)
UNMONE: LD A,'1'                ; rounds up to one in the last place
        LD (UDIG),A
        JP UNM7
UNMZ:   LD HL,UDIG
        LD B,8
UNMZ1:  LD (HL),'0'
        INC HL
        DEC B
        JP NZ,UNMZ1
        LD A,1
        LD (UPP),A
UNM7:   ; the integer digits into UOUT, right to left with commas
        LD HL,UOUT+60
        LD (HL),0
        LD C,0                  ; digits written
        LD A,(UPP)
        LD B,A                  ; index of the last integer digit + 1
UNM8:   LD A,B
        DEC A
        JP M,UNM10
        LD B,A
        CALL UDGT
        PUSH AF
        LD A,(UCOMMA)           ; a comma before every three digits
        OR A
        JP Z,UNM9
        LD A,C
        OR A
        JP Z,UNM9
UNM9A:  SUB 3
        JP Z,UNM9B
        JP NC,UNM9A
        JP UNM9
UNM9B:  DEC HL
        LD (HL),','
UNM9:   POP AF
        DEC HL
        LD (HL),A
        INC C
        JP UNM8
UNM10:  LD A,C
        OR A
        JP NZ,UNM11
        LD A,(UIPOS)            ; no digit: a 0 where there is a place
        OR A
        JP Z,UNM13
        DEC HL
        LD (HL),'0'
        JP UNM13
UNM11:  LD A,(HL)               ; leading zeros and commas go
        CP '0'
        JP Z,UNM12
        CP ','
        JP NZ,UNM13
UNM12:  INC HL
        LD A,(HL)
        OR A
        JP NZ,UNM11
        LD A,(UIPOS)
        OR A
        JP Z,UNM13
        DEC HL
        LD (HL),'0'
UNM13:  LD A,(UFPLUS)            ; sign and dollar in front
        OR A
        JP Z,UNM14
        DEC HL
        LD (HL),'+'
        LD A,(UFNEG)
        OR A
        JP Z,UNM15
        LD (HL),'-'
        JP UNM15
UNM14:  LD A,(UTRAIL)
        OR A
        JP NZ,UNM15
        LD A,(UFNEG)
        OR A
        JP Z,UNM15
        DEC HL
        LD (HL),'-'
UNM15:  LD A,(UDOLL)
        OR A
        JP Z,UNM16
        DEC HL
        LD (HL),'$'
UNM16:  LD DE,UOUT+60           ; too wide: % and all of it
        LD A,E
        SUB L
        LD B,A
        LD A,(UIPOS)
        SUB B
        JP NC,UNM17
        LD A,'%'
        CALL OUTC
        XOR A
UNM17:  OR A
        JP Z,UNM19
        LD C,A
        LD A,(UFILL)
UNM18:  CALL OUTC
        DEC C
        JP NZ,UNM18
UNM19:  CALL PRTS
        LD A,(UDEC)             ; the point and the decimals
        OR A
        JP M,UNM21
        LD C,A
        LD A,'.'
        CALL OUTC
        LD A,(UPP)
        LD B,A
UNM20:  LD A,C
        OR A
        JP Z,UNM21
        CALL UDGT
        CALL OUTC
        INC B
        DEC C
        JP UNM20
UNM21:  LD A,(UTRAIL)           ; a sign behind
        OR A
        RET Z
        CP '+'
        LD A,(UFNEG)
        JP NZ,UNM22
        OR A
        LD A,'+'
        JP Z,OUTC
        LD A,'-'
        JP OUTC
UNM22:  OR A
        LD A,' '
        JP Z,OUTC
        LD A,'-'
        JP OUTC

; A = the digit at index B of UDIG ('0' outside it).
UDGT:   LD A,B
        OR A
        JP M,UDG0
        CP 8
        JP NC,UDG0
        PUSH HL
        LD E,B
        LD D,0
        LD HL,UDIG
        ADD HL,DE
        LD A,(HL)
        POP HL
        RET
UDG0:   LD A,'0'
        RET
