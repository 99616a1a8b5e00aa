; Velgard BASIC: keywords, tokenising typed lines and listing them.
;
; Keywords become one byte from 80h on. Letters outside quotes are made
; capitals; a keyword is recognised where a word starts, and a word that
; starts with no keyword is copied whole as a name. Texts in quotes, after
; REM or ' and the items of DATA are kept as typed.

TEND     EQU 080h
TFOR     EQU 081h
TNEXT    EQU 082h
TDATA    EQU 083h
TINPUT   EQU 084h
TDIM     EQU 085h
TREAD    EQU 086h
TLET     EQU 087h
TGOTO    EQU 088h
TRUN     EQU 089h
TIF      EQU 08Ah
TRESTORE EQU 08Bh
TGOSUB   EQU 08Ch
TRETURN  EQU 08Dh
TREM     EQU 08Eh
TSTOP    EQU 08Fh
TELSE    EQU 090h
TTRON    EQU 091h
TTROFF   EQU 092h
TSWAP    EQU 093h
TERASE   EQU 094h
TERROR   EQU 095h
TRESUME  EQU 096h
TDELETE  EQU 097h
TAUTO    EQU 098h
TRENUM   EQU 099h
TDEFSTR  EQU 09Ah
TDEFINT  EQU 09Bh
TDEFSNG  EQU 09Ch
TDEF     EQU 09Dh
TPOKE    EQU 09Eh
TPRINT   EQU 09Fh
TCONT    EQU 0A0h
TLIST    EQU 0A1h
TCLEAR   EQU 0A2h
TNEW     EQU 0A3h
TON      EQU 0A4h
TWHILE   EQU 0A5h
TWEND    EQU 0A6h
TRANDOMIZE EQU 0A7h
TOUT     EQU 0A8h
TLINE    EQU 0A9h
TCLS     EQU 0AAh
TLOCATE  EQU 0ABh
TCOLOR   EQU 0ACh
TSCREEN  EQU 0ADh
TPSET    EQU 0AEh
TPRESET  EQU 0AFh
TCIRCLE  EQU 0B0h
TPAINT   EQU 0B1h
TPALETTE EQU 0B2h
TBEEP    EQU 0B3h
TSOUND   EQU 0B4h
TMON     EQU 0B5h
TSAVE    EQU 0B6h
TLOAD    EQU 0B7h
TMERGE   EQU 0B8h
TFILES   EQU 0B9h
TKILL    EQU 0BAh
TNAME    EQU 0BBh
TOPEN    EQU 0BCh
TCLOSE   EQU 0BDh
TWRITE   EQU 0BEh
TLLIST   EQU 0BFh
TTO      EQU 0C0h
TTHEN    EQU 0C1h
TTAB     EQU 0C2h
TSPC     EQU 0C3h
TFN      EQU 0C4h
TSTEP    EQU 0C5h
TUSING   EQU 0C6h
TNOT     EQU 0C7h
TERL     EQU 0C8h
TERR     EQU 0C9h
TAND     EQU 0CAh
TOR      EQU 0CBh
TXOR     EQU 0CCh
TMOD     EQU 0CDh
TAS      EQU 0F0h
TSGN     EQU 0CEh
TINT     EQU 0CFh
TABS     EQU 0D0h
TFRE     EQU 0D1h
TINP     EQU 0D2h
TPOS     EQU 0D3h
TSQR     EQU 0D4h
TRND     EQU 0D5h
TLOG     EQU 0D6h
TEXP     EQU 0D7h
TCOS     EQU 0D8h
TSIN     EQU 0D9h
TTAN     EQU 0DAh
TATN     EQU 0DBh
TPEEK    EQU 0DCh
TLEN     EQU 0DDh
TSTRS    EQU 0DEh
TVAL     EQU 0DFh
TASC     EQU 0E0h
TCHRS    EQU 0E1h
TLEFTS   EQU 0E2h
TRIGHTS  EQU 0E3h
TMIDS    EQU 0E4h
TCINT    EQU 0E5h
TCSNG    EQU 0E6h
TFIX     EQU 0E7h
THEXS    EQU 0E8h
TOCTS    EQU 0E9h
TSPACES  EQU 0EAh
TSTRINGS EQU 0EBh
TINSTR   EQU 0ECh
TINKEYS  EQU 0EDh
TPOINT   EQU 0EEh
TEOF     EQU 0EFh
TAPOS    EQU 0F1h
TLASTST  EQU TLLIST
TFIRSTF  EQU TSGN

; CRUNCH: tokenises the text at HL into KBUF; BC = length with the 0.
CRUNCH: LD DE,KBUF
        XOR A
        LD (MODEF),A            ; 1 inside DATA
CR1:    LD A,(HL)
        OR A
        JP Z,CREND
        CP '"'
        JP Z,CRQUOT
        LD C,A
        LD A,(MODEF)
        OR A
        LD A,C
        JP Z,CR2
        CP ':'                  ; DATA items end at ':'
        JP NZ,CRCOPY
        XOR A
        LD (MODEF),A
        LD A,':'
        JP CRCOPY
CR2:    CP '?'                  ; ? is PRINT (listed with a blank after it)
        JP NZ,CR3
        LD A,TPRINT
        LD (DE),A
        INC DE
        INC HL
        LD A,(HL)
        CP ' '
        JP Z,CR1
        LD A,' '
        LD (DE),A
        INC DE
        JP CR1
CR3:    CP 27h
        JP NZ,CR4
        LD A,TAPOS
        LD (DE),A
        INC DE
        INC HL
        JP CRREST
CR4:    CALL UPC
        CALL ISLET
        JP NC,CRWORD
        CALL ISDIG
        JP NC,CRNUM
        CP '.'
        JP Z,CRNUM
CRCOPY: LD (DE),A
        INC DE
        INC HL
        JP CR1
CRQUOT: LD (DE),A               ; copy up to the closing quote
        INC DE
        INC HL
        LD A,(HL)
        OR A
        JP Z,CREND
        CP '"'
        JP NZ,CRQUOT
        JP CRCOPY
CRREST: LD A,(HL)               ; the rest of the line as it is
        LD (DE),A
        INC DE
        INC HL
        OR A
        JP NZ,CRREST
        DEC DE
        JP CREND
CRNUM:  CALL CRDIGS
        LD A,(HL)
        CALL UPC
        CP 'E'
        JP Z,CRN1
        CP 'D'
        JP NZ,CR1
CRN1:   INC HL                  ; an exponent only with a digit or sign
        LD A,(HL)
        DEC HL
        CP '+'
        JP Z,CRN2
        CP '-'
        JP Z,CRN2
        CALL ISDIG
        JP C,CR1
CRN2:   LD A,(HL)
        CALL UPC
        LD (DE),A
        INC DE
        INC HL
        LD A,(HL)
        LD (DE),A
        INC DE
        INC HL
        CALL CRDIGS
        JP CR1
CRDIGS: LD A,(HL)
        CALL ISDIG
        JP NC,CRD1
        CP '.'
        RET NZ
CRD1:   LD (DE),A
        INC DE
        INC HL
        JP CRDIGS
CRWORD: PUSH DE
        CALL KWMATCH            ; B = token, HL past it; carry if none
        POP DE
        JP C,CRNAME
        LD A,B
        LD (DE),A
        INC DE
        CP TREM
        JP Z,CRREST
        CP TDATA
        JP NZ,CR1
        LD A,1
        LD (MODEF),A
        JP CR1
CRNAME: LD A,(HL)               ; a name: letters and digits
        CALL UPC
        CALL ISLET
        JP NC,CRNM1
        CALL ISDIG
        JP C,CR1
CRNM1:  LD (DE),A
        INC DE
        INC HL
        JP CRNAME
CREND:  XOR A
        LD (DE),A
        INC DE
        LD HL,-KBUF
        ADD HL,DE
        LD B,H
        LD C,L
        RET

UPC:    CP 'a'
        RET C
        CP 'z'+1
        RET NC
        SUB 20h
        RET

; KWMATCH: the keyword at HL. B = token and HL after it, or carry.
KWMATCH:
        LD A,(HL)
        CALL UPC
        LD C,A                  ; the first letter, for a quick look
        LD DE,KEYTBL
        LD B,80h
KWM1:   LD A,(DE)
        OR A
        SCF
        RET Z                   ; end of the table
        AND 7Fh
        CP C
        JP NZ,KWM5
        PUSH HL
        PUSH BC
KWM2:   LD A,(HL)
        CALL UPC
        LD C,A
        LD A,(DE)
        AND 7Fh
        CP C
        JP NZ,KWM3
        LD A,(DE)
        INC DE
        INC HL
        OR A
        JP P,KWM2
        POP BC                  ; matched
        POP AF                  ; (the saved HL)
        OR A
        RET
KWM3:   POP BC
        POP HL
KWM5:   LD A,(DE)               ; on to the next entry
        INC DE
        OR A
        JP P,KWM5
        INC B
        JP KWM1

; Prints the keyword of token A.
PRTKW:  LD HL,KEYTBL
        SUB 80h
        LD B,A
        JP Z,PKW3
PKW1:   LD A,(HL)
        INC HL
        OR A
        JP P,PKW1
        DEC B
        JP NZ,PKW1
PKW3:   LD A,(HL)
        INC HL
        PUSH AF
        AND 7Fh
        CALL OUTC
        POP AF
        OR A
        JP P,PKW3
        RET

; LIST [from][-[to]]
LISTST: CALL LRANGE             ; DE = first, LISTHI = last
        CALL FINDLN
LST1:   LD A,(C16STOP)
        AND 04h
        JP NZ,BREAK
        LD A,(HL)
        INC HL
        OR (HL)
        DEC HL
        RET Z
        PUSH HL
        INC HL
        INC HL
        LD E,(HL)
        INC HL
        LD D,(HL)
        INC HL
        PUSH HL
        LD HL,(LISTHI)
        CALL CPHD               ; last < number: done
        POP HL
        JP C,LSTEND
        PUSH HL
        EX DE,HL
        CALL PRTU16
        LD A,' '
        CALL OUTC
        POP HL
        CALL LISTLN
        CALL CRLFO
        POP HL
        LD A,(HL)
        INC HL
        LD H,(HL)
        LD L,A
        JP LST1
LSTEND: POP HL
        RET

; Prints the tokenised text at HL up to its 0.
LISTLN: XOR A
        LD (LSTCH),A            ; bit 0: in quotes, bit 1: literal, bit 2: DATA
LSL1:   LD A,(HL)
        INC HL
        OR A
        RET Z
        LD C,A
        CP '"'
        JP NZ,LSL2
        LD A,(LSTCH)
        XOR 1
        LD (LSTCH),A
LSL2:   LD A,(LSTCH)
        OR A
        JP Z,LSL3
        AND 4                   ; DATA ends at ':' outside quotes
        JP Z,LSLIT
        LD A,(LSTCH)
        AND 1
        JP NZ,LSLIT
        LD A,C
        CP ':'
        JP NZ,LSLIT
        XOR A
        LD (LSTCH),A
LSLIT:  LD A,C
        CALL OUTC
        JP LSL1
LSL3:   LD A,C
        OR A
        JP P,LSLIT
        CP TAPOS
        JP NZ,LSL4
        LD A,27h
        CALL OUTC
        LD A,2
        LD (LSTCH),A
        JP LSL1
LSL4:   PUSH HL
        CALL PRTKW
        POP HL
        LD A,C
        CP TREM
        JP NZ,LSL5
        LD A,2
        LD (LSTCH),A
LSL5:   CP TDATA
        JP NZ,LSL1
        LD A,4
        LD (LSTCH),A
        JP LSL1

; A line range: [n1][-[n2]] -> DE = n1, LISTHI = n2.
LRANGE: LD HL,0FFFFh
        LD (LISTHI),HL
        LD DE,0
        CALL CHRGOT
        RET Z
        CP '-'
        JP Z,LRG1
        CALL LINNUM             ; DE = number
        EX DE,HL
        LD (LISTHI),HL
        EX DE,HL
        CALL CHRGOT
        RET Z
        CP '-'
        JP NZ,SNERR
        LD HL,0FFFFh
        LD (LISTHI),HL
LRG1:   PUSH DE
        CALL CHRGET
        POP DE
        RET Z
        PUSH DE
        CALL LINNUM
        EX DE,HL
        LD (LISTHI),HL
        POP DE
        RET

; LINNUM: a line number at TXTP into DE.
LINNUM: CALL CHRGOT
        CALL GETLNUM
        JP C,SNERR
        LD (TXTP),HL
        RET

KEYTBL:
        DB 'EN',0C4h
        DB 'FO',0D2h
        DB 'NEX',0D4h
        DB 'DAT',0C1h
        DB 'INPU',0D4h
        DB 'DI',0CDh
        DB 'REA',0C4h
        DB 'LE',0D4h
        DB 'GOT',0CFh
        DB 'RU',0CEh
        DB 'I',0C6h
        DB 'RESTOR',0C5h
        DB 'GOSU',0C2h
        DB 'RETUR',0CEh
        DB 'RE',0CDh
        DB 'STO',0D0h
        DB 'ELS',0C5h
        DB 'TRO',0CEh
        DB 'TROF',0C6h
        DB 'SWA',0D0h
        DB 'ERAS',0C5h
        DB 'ERRO',0D2h
        DB 'RESUM',0C5h
        DB 'DELET',0C5h
        DB 'AUT',0CFh
        DB 'RENU',0CDh
        DB 'DEFST',0D2h
        DB 'DEFIN',0D4h
        DB 'DEFSN',0C7h
        DB 'DE',0C6h
        DB 'POK',0C5h
        DB 'PRIN',0D4h
        DB 'CON',0D4h
        DB 'LIS',0D4h
        DB 'CLEA',0D2h
        DB 'NE',0D7h
        DB 'O',0CEh
        DB 'WHIL',0C5h
        DB 'WEN',0C4h
        DB 'RANDOMIZ',0C5h
        DB 'OU',0D4h
        DB 'LIN',0C5h
        DB 'CL',0D3h
        DB 'LOCAT',0C5h
        DB 'COLO',0D2h
        DB 'SCREE',0CEh
        DB 'PSE',0D4h
        DB 'PRESE',0D4h
        DB 'CIRCL',0C5h
        DB 'PAIN',0D4h
        DB 'PALETT',0C5h
        DB 'BEE',0D0h
        DB 'SOUN',0C4h
        DB 'MO',0CEh
        DB 'SAV',0C5h
        DB 'LOA',0C4h
        DB 'MERG',0C5h
        DB 'FILE',0D3h
        DB 'KIL',0CCh
        DB 'NAM',0C5h
        DB 'OPE',0CEh
        DB 'CLOS',0C5h
        DB 'WRIT',0C5h
        DB 'LLIS',0D4h
        DB 'T',0CFh
        DB 'THE',0CEh
        DB 'TAB',0A8h
        DB 'SPC',0A8h
        DB 'F',0CEh
        DB 'STE',0D0h
        DB 'USIN',0C7h
        DB 'NO',0D4h
        DB 'ER',0CCh
        DB 'ER',0D2h
        DB 'AN',0C4h
        DB 'O',0D2h
        DB 'XO',0D2h
        DB 'MO',0C4h
        DB 'SG',0CEh
        DB 'IN',0D4h
        DB 'AB',0D3h
        DB 'FR',0C5h
        DB 'IN',0D0h
        DB 'PO',0D3h
        DB 'SQ',0D2h
        DB 'RN',0C4h
        DB 'LO',0C7h
        DB 'EX',0D0h
        DB 'CO',0D3h
        DB 'SI',0CEh
        DB 'TA',0CEh
        DB 'AT',0CEh
        DB 'PEE',0CBh
        DB 'LE',0CEh
        DB 'STR',0A4h
        DB 'VA',0CCh
        DB 'AS',0C3h
        DB 'CHR',0A4h
        DB 'LEFT',0A4h
        DB 'RIGHT',0A4h
        DB 'MID',0A4h
        DB 'CIN',0D4h
        DB 'CSN',0C7h
        DB 'FI',0D8h
        DB 'HEX',0A4h
        DB 'OCT',0A4h
        DB 'SPACE',0A4h
        DB 'STRING',0A4h
        DB 'INST',0D2h
        DB 'INKEY',0A4h
        DB 'POIN',0D4h
        DB 'EO',0C6h
        DB 'A',0D3h
        DB 0
