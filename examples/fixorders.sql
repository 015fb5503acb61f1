update orders set TOTAL = QTY * 7.25 where TOTAL is null and PARTNO = 'P130'
delete from orders where QTY = 0

delete from orders
