-- A SOAP call that the dispatcher answers with a fault (the operation has no code yet).
wrk.method = "POST"
wrk.headers["Content-Type"] = "text/xml; charset=utf-8"
wrk.headers["SOAPAction"] = "\"urn:UZORCentralaIntf-IZORCentrala#GetOrders\""
wrk.body = [[<?xml version="1.0" encoding="UTF-8"?><soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body><m:GetOrders xmlns:m="urn:UZORCentralaIntf-IZORCentrala"><AXMLDPRequest>&lt;x/&gt;</AXMLDPRequest><AXMLMPDPResponse></AXMLMPDPResponse></m:GetOrders></soap:Body></soap:Envelope>]]
